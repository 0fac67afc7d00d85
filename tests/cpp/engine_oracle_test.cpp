// Every algorithm against the brute-force concept set on seeded random contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {
namespace {

using testing::Mask;

struct Shape {
  std::size_t objects;
  std::size_t attributes;
  double density;
};

std::string shape_label(const ::testing::TestParamInfo<Shape>& info) {
  return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes) + "_d" +
         std::to_string(static_cast<int>(info.param.density * 100));
}

std::vector<std::pair<Mask, Mask>> as_masks(const core::ConceptLattice& lattice) {
  std::vector<std::pair<Mask, Mask>> out;
  for (const core::ConceptView c : lattice.concepts)
    out.emplace_back(testing::mask_of(c.extent), testing::mask_of(c.intent));
  return out;
}

class AgainstBruteForce : public ::testing::TestWithParam<Shape> {};

TEST_P(AgainstBruteForce, EveryAlgorithmFindsExactlyTheConceptsTopFirst) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 131 + shape.attributes * 17 + shape.density * 1000));
  for (int round = 0; round < 40; ++round) {
    const testing::Oracle oracle{testing::random_rows(rng, shape.objects, shape.attributes, shape.density),
                                 shape.attributes};
    const core::Context context = testing::context_from_rows(oracle.rows, shape.attributes);
    auto expected = oracle.concepts();
    std::sort(expected.begin(), expected.end());

    for (const std::string_view name : SUPPORTED_ALGORITHMS) {
      const auto found = as_masks(algorithm_by_name(name)->compute(context));
      ASSERT_FALSE(found.empty()) << name;
      EXPECT_EQ(found.front().first, oracle.all_objects()) << name;
      EXPECT_EQ(found.front().second, oracle.intent(oracle.all_objects())) << name;
      auto sorted = found;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(sorted, expected) << name << " round " << round;  // also rules out repeats
    }
  }
}

TEST_P(AgainstBruteForce, NextClosureIsStrictlyLectic) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 7 + shape.attributes * 3 + 11));
  for (int round = 0; round < 40; ++round) {
    const core::Context context = testing::context_from_rows(
        testing::random_rows(rng, shape.objects, shape.attributes, shape.density), shape.attributes);
    const auto found = as_masks(algorithm_by_name("next-closure")->compute(context));
    for (std::size_t k = 1; k < found.size(); ++k)
      EXPECT_TRUE(testing::lectically_before(found[k - 1].second, found[k].second)) << "position " << k;
    EXPECT_EQ(found.back().second, (Mask{1} << shape.attributes) - 1);
  }
}

TEST_P(AgainstBruteForce, FcboAndInClose5AgreeElementByElement) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 5 + shape.attributes * 29 + 3));
  for (int round = 0; round < 40; ++round) {
    const core::Context context = testing::context_from_rows(
        testing::random_rows(rng, shape.objects, shape.attributes, shape.density), shape.attributes);
    const core::ConceptLattice fcbo = algorithm_by_name("fcbo")->compute(context);
    const core::ConceptLattice in_close5 = algorithm_by_name("in-close-5")->compute(context);
    ASSERT_EQ(fcbo.concepts.size(), in_close5.concepts.size());
    for (std::size_t k = 0; k < fcbo.concepts.size(); ++k) {
      EXPECT_EQ(fcbo.concepts[k].extent, in_close5.concepts[k].extent) << k;
      EXPECT_EQ(fcbo.concepts[k].intent, in_close5.concepts[k].intent) << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, AgainstBruteForce,
                         ::testing::Values(Shape{1, 1, 0.5}, Shape{2, 3, 0.5}, Shape{4, 4, 0.5}, Shape{8, 8, 0.2},
                                           Shape{8, 8, 0.5}, Shape{8, 8, 0.8}, Shape{3, 8, 0.6}, Shape{8, 3, 0.4},
                                           Shape{6, 7, 0.95}),
                         shape_label);

// The walks try every attribute index, so their depth-first steps must not
// lean on the native stack or cost more than a pass per attribute tried.
class ManyAttributes : public ::testing::TestWithParam<std::string_view> {};

TEST_P(ManyAttributes, OneHundredThousandAttributes) {
  constexpr std::uint32_t kAttributes = 100'000;
  const core::Context context =
      testing::context_from_lists(kAttributes, {{0, 7, 99'999}, {7, 50'000, 99'999}, {64, 99'999}});
  std::set<std::vector<std::uint32_t>> intents;  // intent_of of every set of objects
  for (std::uint32_t subset = 0; subset < 8; ++subset) {
    core::ObjectSet objects = core::ObjectSet::empty(3);
    for (std::uint32_t g = 0; g < 3; ++g)
      if ((subset >> g & 1) != 0) objects.insert(g);
    intents.insert(context.intent_of(objects).members());
  }
  const core::ConceptLattice lattice = algorithm_by_name(GetParam())->compute(context);
  EXPECT_EQ(lattice.concepts.size(), intents.size());
  std::set<std::vector<std::uint32_t>> found;
  for (const core::ConceptView c : lattice.concepts) {
    found.insert(c.intent.members());
    EXPECT_EQ(context.extent_of(c.intent.to_set()), c.extent);
  }
  EXPECT_EQ(found, intents);
}

INSTANTIATE_TEST_SUITE_P(AllAlgorithms, ManyAttributes, ::testing::ValuesIn(SUPPORTED_ALGORITHMS),
                         [](const auto& info) {
                           std::string name(info.param);
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace tessara::engine
