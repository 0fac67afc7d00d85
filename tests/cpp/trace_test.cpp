// The completion events of the engine, captured through a test sink.
#include "tessara/trace/trace.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/engine/canonical_base.hpp"
#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {
namespace {

using Value = std::variant<std::uint64_t, std::string>;

struct Recorded {
  std::string target;
  std::string message;
  std::vector<std::pair<std::string, Value>> fields;
};

// Events live only for the duration of the sink call, so everything is copied.
std::vector<Recorded>& recorded() {
  static std::vector<Recorded> events;
  return events;
}

void record(const trace::Event& event) {
  Recorded copy{std::string(event.target), std::string(event.message), {}};
  for (const trace::Field& field : event.fields) {
    Value value;
    if (const auto* number = std::get_if<std::uint64_t>(&field.value))
      value = *number;
    else
      value = std::string(std::get<std::string_view>(field.value));
    copy.fields.emplace_back(std::string(field.name), value);
  }
  recorded().push_back(std::move(copy));
}

class TraceEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    recorded().clear();
    trace::set_sink(&record);
  }
  void TearDown() override {
    trace::set_sink(nullptr);
    recorded().clear();
  }

  // Objects g0 {a0, a1, a2}, g1 {a0, a1}, g2 {a0}: three concepts, two implications.
  const core::Context chain = testing::context_from_lists(3, {{0, 1, 2}, {0, 1}, {0}});
};

struct Selection {
  std::string name;
  std::string target;
  std::string algorithm;
};

class GenerationEvent : public TraceEvents, public ::testing::WithParamInterface<Selection> {};

TEST_P(GenerationEvent, OneEventWithItsFieldsInOrder) {
  const Selection& selection = GetParam();
  (void)algorithm_by_name(selection.name)->compute(chain);
  ASSERT_EQ(recorded().size(), 1u);
  const Recorded& event = recorded().front();
  EXPECT_EQ(event.target, selection.target);
  EXPECT_EQ(event.message, "concept generation complete");
  const std::vector<std::pair<std::string, Value>> expected{{"algorithm", Value(selection.algorithm)},
                                                            {"concepts", Value(std::uint64_t{3})},
                                                            {"objects", Value(std::uint64_t{3})},
                                                            {"attributes", Value(std::uint64_t{3})}};
  EXPECT_EQ(event.fields, expected);
}

INSTANTIATE_TEST_SUITE_P(Names, GenerationEvent,
                         ::testing::Values(Selection{"next-closure", "tessara_engine::next_closure", "next-closure"},
                                           Selection{"NC", "tessara_engine::next_closure", "next-closure"},
                                           Selection{"fcbo", "tessara_engine::fcbo", "fcbo"},
                                           Selection{"in-close-5", "tessara_engine::in_close5", "in-close-5"},
                                           Selection{"ic5", "tessara_engine::in_close5", "in-close-5"}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

TEST_F(TraceEvents, CanonicalBaseEvent) {
  (void)canonical_base(chain);
  ASSERT_EQ(recorded().size(), 1u);
  const Recorded& event = recorded().front();
  EXPECT_EQ(event.target, "tessara_engine::canonical_base");
  EXPECT_EQ(event.message, "canonical base computation complete");
  const std::vector<std::pair<std::string, Value>> expected{{"algorithm", Value(std::string("duquenne-guigues"))},
                                                            {"implications", Value(std::uint64_t{2})},
                                                            {"objects", Value(std::uint64_t{3})},
                                                            {"attributes", Value(std::uint64_t{3})}};
  EXPECT_EQ(event.fields, expected);
}

TEST_F(TraceEvents, CountsFollowTheContext) {
  const core::Context wide = testing::context_from_lists(5, {{0}, {1}});
  (void)algorithm_by_name("fcbo")->compute(wide);
  (void)canonical_base(wide);
  ASSERT_EQ(recorded().size(), 2u);
  EXPECT_EQ(recorded()[0].fields[1].second, Value(std::uint64_t{4}));  // top, {a0}, {a1}, bottom
  EXPECT_EQ(recorded()[0].fields[2].second, Value(std::uint64_t{2}));
  EXPECT_EQ(recorded()[0].fields[3].second, Value(std::uint64_t{5}));
  EXPECT_EQ(recorded()[1].fields[3].second, Value(std::uint64_t{5}));
}

TEST_F(TraceEvents, NothingReachesARemovedSink) {
  trace::set_sink(nullptr);
  (void)algorithm_by_name("next-closure")->compute(chain);
  (void)canonical_base(chain);
  EXPECT_TRUE(recorded().empty());
}

}  // namespace
}  // namespace tessara::engine
