#include "tessara/engine/canonical_base.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "reference/canonical_base.hpp"

namespace tessara::engine {
namespace {

using testing::Mask;
using Indices = std::vector<std::uint32_t>;

struct ExpectedImplication {
  Indices premise;
  Indices conclusion;
  std::uint64_t support;

  friend bool operator==(const ExpectedImplication&, const ExpectedImplication&) = default;
};

std::ostream& operator<<(std::ostream& out, const ExpectedImplication& implication) {
  out << "{";
  for (const auto m : implication.premise) out << ' ' << m;
  out << " } -> {";
  for (const auto m : implication.conclusion) out << ' ' << m;
  return out << " } support " << implication.support;
}

struct Example {
  std::string label;
  std::uint32_t n_attributes;
  std::vector<Indices> objects;
  std::vector<ExpectedImplication> base;
};

class CanonicalBaseExamples : public ::testing::TestWithParam<Example> {};

TEST_P(CanonicalBaseExamples, ProduceTheExactList) {
  const Example& example = GetParam();
  const auto base = canonical_base(testing::context_from_lists(example.n_attributes, example.objects));
  std::vector<ExpectedImplication> found;
  for (const core::Implication& implication : base) {
    found.push_back({implication.premise.members(), implication.conclusion.members(), implication.support});
    EXPECT_EQ(implication.confidence, 1.0);
    EXPECT_EQ(implication.premise.capacity(), example.n_attributes);
    EXPECT_EQ(implication.conclusion.capacity(), example.n_attributes);
  }
  EXPECT_EQ(found, example.base);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanonicalBaseExamples,
    ::testing::Values(
        Example{"no_attributes", 0, {{}, {}}, {}}, Example{"nothing_at_all", 0, {}, {}},
        Example{"no_objects", 2, {}, {{{}, {0, 1}, 0}}}, Example{"shared_attribute", 2, {{0}, {0}}, {{{}, {0}, 2}}},
        Example{"chain", 3, {{0, 1, 2}, {0, 1}, {0}}, {{{}, {0}, 3}, {{0, 2}, {0, 1, 2}, 1}}},
        Example{"square", 4, {{0, 1}, {1, 2}, {2, 3}, {0, 3}}, {{{1, 3}, {0, 1, 2, 3}, 0}, {{0, 2}, {0, 1, 2, 3}, 0}}},
        Example{"two_singletons", 2, {{0}, {1}}, {}}, Example{"triangle", 3, {{0, 1}, {1, 2}, {0, 2}}, {}}),
    [](const auto& info) { return info.param.label; });

// Closure of x under implications given as (premise, conclusion) masks.
Mask close_under(Mask x, const std::vector<std::pair<Mask, Mask>>& implications) {
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [premise, conclusion] : implications)
      if ((premise & ~x) == 0 && (conclusion & ~x) != 0) {
        x |= conclusion;
        grew = true;
      }
  }
  return x;
}

struct Shape {
  std::size_t objects;
  std::size_t attributes;
  double density;
};

class CanonicalBaseAgainstBruteForce : public ::testing::TestWithParam<Shape> {};

TEST_P(CanonicalBaseAgainstBruteForce, PremisesAreThePseudoIntentsInLecticOrder) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 37 + shape.attributes * 101 + shape.density * 100));
  for (int round = 0; round < 30; ++round) {
    const testing::Oracle oracle{testing::random_rows(rng, shape.objects, shape.attributes, shape.density),
                                 shape.attributes};
    const auto base = canonical_base(testing::context_from_rows(oracle.rows, shape.attributes));

    std::vector<Mask> expected_premises = oracle.pseudo_intents();
    std::sort(expected_premises.begin(), expected_premises.end(), testing::lectically_before);
    std::vector<Mask> premises;
    std::vector<std::pair<Mask, Mask>> as_masks;
    for (const core::Implication& implication : base) {
      const Mask premise = testing::mask_of(implication.premise);
      premises.push_back(premise);
      as_masks.emplace_back(premise, testing::mask_of(implication.conclusion));
      EXPECT_EQ(testing::mask_of(implication.conclusion), oracle.closure(premise));
      EXPECT_EQ(implication.support, static_cast<std::uint64_t>(std::popcount(oracle.extent(premise))));
      EXPECT_EQ(implication.confidence, 1.0);
    }
    ASSERT_EQ(premises, expected_premises) << "round " << round;

    // Complete: the base derives the closure of every attribute set.
    for (Mask x = 0; x <= oracle.all_attributes(); ++x) {
      ASSERT_EQ(close_under(x, as_masks), oracle.closure(x)) << "set " << x;
      if (x == oracle.all_attributes()) break;
    }
    // Non-redundant: no implication follows from the others.
    for (std::size_t k = 0; k < as_masks.size(); ++k) {
      auto others = as_masks;
      others.erase(others.begin() + static_cast<std::ptrdiff_t>(k));
      EXPECT_NE(close_under(as_masks[k].first, others) & as_masks[k].second, as_masks[k].second) << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CanonicalBaseAgainstBruteForce,
                         ::testing::Values(Shape{1, 1, 0.5}, Shape{3, 4, 0.5}, Shape{8, 8, 0.3}, Shape{8, 8, 0.5},
                                           Shape{8, 8, 0.8}, Shape{2, 8, 0.5}, Shape{8, 5, 0.6}, Shape{0, 4, 0.5}),
                         [](const auto& info) {
                           return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes) +
                                  "_d" + std::to_string(static_cast<int>(info.param.density * 100));
                         });

void expect_same_base(const std::vector<core::Implication>& found, const std::vector<core::Implication>& expected) {
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t k = 0; k < found.size(); ++k) {
    ASSERT_EQ(found[k].premise, expected[k].premise) << "implication " << k;
    ASSERT_EQ(found[k].conclusion, expected[k].conclusion) << "implication " << k;
    ASSERT_EQ(found[k].support, expected[k].support) << "implication " << k;
    ASSERT_EQ(found[k].confidence, 1.0) << "implication " << k;
  }
}

struct DifferentialShape {
  std::size_t objects;
  std::size_t attributes;
  double density;
  int rounds;
};

class CanonicalBaseAgainstReference : public ::testing::TestWithParam<DifferentialShape> {};

TEST_P(CanonicalBaseAgainstReference, SameImplicationsInTheSameOrder) {
  const DifferentialShape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 7919 + shape.attributes * 131 + shape.density * 1000));
  for (int round = 0; round < shape.rounds; ++round) {
    const auto context =
        testing::context_from_rows(testing::awkward_rows(rng, shape.objects, shape.attributes, shape.density),
                                   shape.attributes);
    SCOPED_TRACE("round " + std::to_string(round));
    expect_same_base(canonical_base(context), reference::canonical_base(context));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CanonicalBaseAgainstReference,
    ::testing::Values(
        // Tiny and degenerate.
        DifferentialShape{0, 0, 0.5, 5}, DifferentialShape{0, 5, 0.5, 5}, DifferentialShape{1, 1, 0.5, 20},
        DifferentialShape{1, 7, 0.5, 50}, DifferentialShape{5, 1, 0.5, 50}, DifferentialShape{2, 3, 0.5, 200},
        DifferentialShape{4, 4, 0.5, 300}, DifferentialShape{6, 6, 0.4, 300},
        // Dense, 8 to 20 attributes: many pseudo-intents.
        DifferentialShape{12, 8, 0.6, 300}, DifferentialShape{20, 10, 0.7, 200}, DifferentialShape{30, 12, 0.6, 100},
        DifferentialShape{40, 14, 0.7, 40}, DifferentialShape{25, 16, 0.8, 20}, DifferentialShape{60, 20, 0.5, 5},
        DifferentialShape{15, 20, 0.85, 5},
        // Word boundaries in objects and in attributes.
        DifferentialShape{63, 6, 0.5, 20}, DifferentialShape{64, 6, 0.5, 20}, DifferentialShape{65, 6, 0.5, 20},
        DifferentialShape{127, 7, 0.5, 10}, DifferentialShape{128, 7, 0.5, 10}, DifferentialShape{129, 7, 0.5, 10},
        DifferentialShape{3, 63, 0.5, 10}, DifferentialShape{3, 64, 0.5, 10}, DifferentialShape{3, 65, 0.5, 10},
        DifferentialShape{4, 127, 0.3, 5}, DifferentialShape{4, 128, 0.7, 5}, DifferentialShape{4, 129, 0.5, 5},
        DifferentialShape{65, 65, 0.05, 5}, DifferentialShape{129, 129, 0.02, 2}),
    [](const auto& info) {
      return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes) + "_d" +
             std::to_string(static_cast<int>(info.param.density * 100));
    });

// Object g has attributes 0 .. g (and, mirrored, g .. n-1): the intents form
// one long chain, so the walk goes as deep as there are attributes.
TEST(CanonicalBaseDeepWalk, StaircasesAgreeWithTheReference) {
  for (const std::size_t n : {130u, 300u}) {
    testing::Rows up(n, std::vector<bool>(n, false));
    testing::Rows down = up;
    for (std::size_t g = 0; g < n; ++g)
      for (std::size_t m = 0; m < n; ++m) {
        up[g][m] = m <= g;
        down[g][m] = m >= g;
      }
    for (const auto& rows : {up, down}) {
      const auto context = testing::context_from_rows(rows, n);
      expect_same_base(canonical_base(context), reference::canonical_base(context));
    }
  }
}

// 100,000 attributes, one object lacking three of them: the base is known in
// closed form, and nothing per attribute may be quadratic or recursive.
TEST(CanonicalBaseDeepWalk, OneObjectWithManyAttributes) {
  constexpr std::uint32_t n = 100000;
  constexpr std::uint32_t lacking[] = {5, 70000, 99999};
  std::vector<bool> row(n, true);
  for (const std::uint32_t m : lacking) row[m] = false;
  const auto base = canonical_base(testing::context_from_rows({row}, n));
  ASSERT_EQ(base.size(), 4u);
  core::AttributeSet has = core::AttributeSet::full(n);
  for (const std::uint32_t m : lacking) has.mutable_words()[m / 64] &= ~(std::uint64_t{1} << (m % 64));
  EXPECT_EQ(base[0].premise, core::AttributeSet::empty(n));
  EXPECT_EQ(base[0].conclusion, has);
  EXPECT_EQ(base[0].support, 1u);
  // Then has ∪ {m} -> everything, in lectic order: the largest m first.
  for (std::size_t k = 1; k < 4; ++k) {
    core::AttributeSet premise = has;
    premise.insert(lacking[3 - k]);
    EXPECT_EQ(base[k].premise, premise) << k;
    EXPECT_EQ(base[k].conclusion, core::AttributeSet::full(n)) << k;
    EXPECT_EQ(base[k].support, 0u) << k;
  }
}

}  // namespace
}  // namespace tessara::engine
