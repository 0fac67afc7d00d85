#include "tessara/engine/catalogue.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tessara::engine {
namespace {

struct Lookup {
  std::string text;
  std::string selects;  // canonical name, or empty when nothing is selected
};

class AlgorithmByName : public ::testing::TestWithParam<Lookup> {};

TEST_P(AlgorithmByName, SelectsTheRightAlgorithm) {
  const Lookup& lookup = GetParam();
  const ConceptAlgorithm* algorithm = algorithm_by_name(lookup.text);
  if (lookup.selects.empty()) {
    EXPECT_EQ(algorithm, nullptr) << "'" << lookup.text << "'";
  } else {
    ASSERT_NE(algorithm, nullptr) << "'" << lookup.text << "'";
    EXPECT_EQ(algorithm->name(), lookup.selects);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, AlgorithmByName,
    ::testing::Values(Lookup{"next-closure", "next-closure"}, Lookup{"nc", "next-closure"},
                      Lookup{"NC", "next-closure"}, Lookup{"Next-Closure", "next-closure"},
                      Lookup{"NEXT-CLOSURE", "next-closure"}, Lookup{"in-close-5", "in-close-5"},
                      Lookup{"in-close5", "in-close-5"}, Lookup{"ic5", "in-close-5"}, Lookup{"IC5", "in-close-5"},
                      Lookup{"In-Close5", "in-close-5"}, Lookup{"IN-CLOSE-5", "in-close-5"}, Lookup{"fcbo", "fcbo"},
                      Lookup{"FCbO", "fcbo"},
                      // Rejected: blanks, other separators, missing parts, empty, non-ASCII look-alikes.
                      Lookup{" next-closure", ""}, Lookup{"next-closure ", ""}, Lookup{"next_closure", ""},
                      Lookup{"inclose5", ""}, Lookup{"in-close", ""}, Lookup{"", ""}, Lookup{"fcb", ""},
                      Lookup{"fcbo\n", ""}, Lookup{std::string("fcbo\0", 5), ""},
                      Lookup{"\xEF\xBC\xA6"
                             "cbo",
                             ""},  // fullwidth F is not an ASCII letter
                      Lookup{"next\xE2\x80\x90"
                             "closure",
                             ""}));  // Unicode hyphen

TEST(Catalogue, SupportedNamesInOfferedOrderEachSelectingItself) {
  EXPECT_EQ(SUPPORTED_ALGORITHMS[0], "next-closure");
  EXPECT_EQ(SUPPORTED_ALGORITHMS[1], "in-close-5");
  EXPECT_EQ(SUPPORTED_ALGORITHMS[2], "fcbo");
  for (const std::string_view name : SUPPORTED_ALGORITHMS) {
    ASSERT_NE(algorithm_by_name(name), nullptr);
    EXPECT_EQ(algorithm_by_name(name)->name(), name);
  }
}

struct Message {
  std::string text;
  std::string expected;
};

class UnknownAlgorithmMessage : public ::testing::TestWithParam<Message> {};

TEST_P(UnknownAlgorithmMessage, RepeatsTheNameAsGiven) {
  EXPECT_EQ(unknown_algorithm_message(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UnknownAlgorithmMessage,
    ::testing::Values(
        Message{"Foo", "unknown algorithm `Foo`; try one of: [\"next-closure\", \"in-close-5\", \"fcbo\"]"},
        Message{"", "unknown algorithm ``; try one of: [\"next-closure\", \"in-close-5\", \"fcbo\"]"},
        Message{"NEXT_closure",
                "unknown algorithm `NEXT_closure`; try one of: [\"next-closure\", \"in-close-5\", \"fcbo\"]"}));

}  // namespace
}  // namespace tessara::engine
