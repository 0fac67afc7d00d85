#include "tessara/engine/association_rules.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "rules_oracle.hpp"
#include "tessara/engine/canonical_base.hpp"

namespace tessara::engine {
namespace {

using testing::Mask;
// premise intent, conclusion intent, support, premise support, conclusion support
using RuleTuple = std::tuple<Mask, Mask, std::uint64_t, std::uint64_t, std::uint64_t>;

struct MaskConstraints {
  double min_confidence = 0.0;
  std::uint64_t max_premise = std::numeric_limits<std::uint64_t>::max();
  Mask premise_includes = 0, premise_excludes = 0, conclusion_includes = 0, conclusion_excludes = 0;

  bool allow(Mask x, Mask y, double confidence) const {
    const Mask added = y & ~x;
    return confidence >= min_confidence && static_cast<std::uint64_t>(testing::count_of(x)) <= max_premise &&
           (premise_includes & ~x) == 0 && (premise_excludes & x) == 0 && (conclusion_includes & ~added) == 0 &&
           (conclusion_excludes & added) == 0;
  }

  RuleConstraints engine(std::uint64_t n_attributes) const {
    const auto set = [&](Mask mask) {
      core::AttributeSet out = core::AttributeSet::empty(n_attributes);
      for (std::uint32_t m = 0; m < n_attributes; ++m)
        if ((mask >> m & 1) != 0) out.insert(m);
      return out;
    };
    return RuleConstraints{min_confidence,      max_premise,         set(premise_includes), set(premise_excludes),
                           set(conclusion_includes), set(conclusion_excludes)};
  }
};

MaskConstraints random_constraints(std::mt19937& rng, Mask all) {
  std::uniform_int_distribution<int> pick(0, 9);
  const auto some = [&] { return pick(rng) < 7 ? Mask{0} : static_cast<Mask>(rng()) & all & static_cast<Mask>(rng()); };
  MaskConstraints constraints;
  const double confidences[] = {0.0, 0.25, 0.5, 2.0 / 3.0, 0.8, 1.0};
  constraints.min_confidence = confidences[pick(rng) % 6];
  if (pick(rng) < 3) constraints.max_premise = static_cast<std::uint64_t>(pick(rng) % 4);
  constraints.premise_includes = some();
  constraints.premise_excludes = some();
  constraints.conclusion_includes = some();
  constraints.conclusion_excludes = some();
  return constraints;
}

// Every rule between frequent closed sets, from all pairs of attribute sets;
// with `covers_only`, the pairs with no closed set strictly between.
std::vector<RuleTuple> rules_by_brute_force(const testing::Oracle& oracle, std::uint64_t min_support,
                                            const MaskConstraints& constraints, bool covers_only) {
  std::vector<Mask> closed;
  for (const auto& pair : oracle.concepts())
    if (static_cast<std::uint64_t>(testing::count_of(pair.first)) >= min_support) closed.push_back(pair.second);
  const auto support = [&](Mask set) { return static_cast<std::uint64_t>(testing::count_of(oracle.extent(set))); };
  std::vector<RuleTuple> rules;
  for (const Mask x : closed)
    for (const Mask y : closed) {
      if (x == y || (x & ~y) != 0) continue;
      bool cover = true;
      for (const Mask z : closed) cover = cover && !(z != x && z != y && (x & ~z) == 0 && (z & ~y) == 0);
      if (covers_only && !cover) continue;
      const double confidence = static_cast<double>(support(y)) / static_cast<double>(support(x));
      if (constraints.allow(x, y, confidence)) rules.emplace_back(x, y, support(y), support(x), support(y & ~x));
    }
  std::sort(rules.begin(), rules.end());
  return rules;
}

std::vector<RuleTuple> as_tuples(const std::vector<AssociationRule>& rules, const testing::OracleLattice& lattice) {
  std::vector<RuleTuple> out;
  for (const AssociationRule& rule : rules)
    out.emplace_back(lattice.masks[rule.premise].second, lattice.masks[rule.conclusion].second, rule.support,
                     rule.premise_support, rule.conclusion_support);
  std::sort(out.begin(), out.end());
  return out;
}

struct Shape {
  std::size_t objects;
  std::size_t attributes;
  double density;
};

class RulesAgainstBruteForce : public ::testing::TestWithParam<Shape> {};

TEST_P(RulesAgainstBruteForce, BothBasesUnderRandomThresholdsAndConstraints) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 97 + shape.attributes * 13 + shape.density * 10));
  for (int round = 0; round < 150; ++round) {
    const testing::Oracle oracle{testing::awkward_rows(rng, shape.objects, shape.attributes, shape.density),
                                 shape.attributes};
    const auto context = testing::context_from_rows(oracle.rows, shape.attributes);
    const std::uint64_t min_support = std::uniform_int_distribution<std::uint64_t>(0, shape.objects / 2)(rng);
    const testing::OracleLattice lattice = testing::oracle_lattice(oracle, min_support, rng);
    const MaskConstraints constraints =
        round % 3 == 0 ? MaskConstraints{} : random_constraints(rng, oracle.all_attributes());
    const core::CoverGraph graph = lattice.graph();
    for (const bool covers_only : {true, false}) {
      const auto found = association_rules(context, lattice.concepts, graph,
                                           covers_only ? RuleBasis::Luxenburger : RuleBasis::All,
                                           constraints.engine(shape.attributes));
      ASSERT_EQ(as_tuples(found, lattice), rules_by_brute_force(oracle, min_support, constraints, covers_only))
          << "round " << round << (covers_only ? " luxenburger" : " all");
      // Grouped by premise concept, then ordered by conclusion concept.
      for (std::size_t k = 1; k < found.size(); ++k)
        ASSERT_LT(std::tie(found[k - 1].premise, found[k - 1].conclusion),
                  std::tie(found[k].premise, found[k].conclusion));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, RulesAgainstBruteForce,
                         ::testing::Values(Shape{12, 10, 0.5}, Shape{12, 10, 0.3}, Shape{12, 8, 0.75}, Shape{1, 4, 0.5},
                                           Shape{6, 1, 0.5}, Shape{0, 3, 0.5}),
                         [](const auto& info) {
                           return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes) +
                                  "_d" + std::to_string(static_cast<int>(info.param.density * 100));
                         });

// The Luxenburger rules with the canonical base derive every rule of a
// frequent premise that reaches the confidence, and nothing else: an exact
// rule follows from the base (both sides have one closure), any other from
// a chain of Luxenburger rules, whose confidences multiply. No Luxenburger
// rule follows from the others.
TEST(LuxenburgerBasis, WithTheCanonicalBaseDerivesExactlyTheRulesAndNoneOfItsOwn) {
  std::mt19937 rng(19);
  for (int round = 0; round < 120; ++round) {
    const std::size_t n_objects = 12;
    const std::size_t n_attributes = 1 + round % 10;
    const testing::Oracle oracle{testing::awkward_rows(rng, n_objects, n_attributes, 0.5), n_attributes};
    const auto context = testing::context_from_rows(oracle.rows, n_attributes);
    const std::uint64_t min_support = std::uniform_int_distribution<std::uint64_t>(0, 5)(rng);
    const double min_confidence = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    const testing::OracleLattice lattice = testing::oracle_lattice(oracle, min_support, rng);
    const auto rules = association_rules(context, lattice.concepts, lattice.graph(), RuleBasis::Luxenburger,
                                         RuleConstraints::none(n_attributes, min_confidence));
    std::vector<std::pair<Mask, Mask>> exact;
    for (const core::Implication& implication : canonical_base(context, min_support))
      exact.emplace_back(testing::mask_of(implication.premise), testing::mask_of(implication.conclusion));
    const auto close = [&](Mask x) {
      for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [premise, conclusion] : exact)
          if ((premise & ~x) == 0 && (conclusion & ~x) != 0) {
            x |= conclusion;
            grew = true;
          }
      }
      return x;
    };
    // chain(a, skip)[b]: the confidence of a chain of rules from concept a to
    // b (every chain gives the same product), 0 when there is none; skip: a
    // rule left out.
    const std::size_t n = lattice.masks.size();
    const auto chain = [&](std::size_t a, std::size_t skip) {
      std::vector<double> reach(n, 0.0);
      std::vector<std::size_t> stack{a};
      reach[a] = 1.0;
      while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        for (std::size_t k = 0; k < rules.size(); ++k)
          if (k != skip && rules[k].premise == at && reach[rules[k].conclusion] == 0.0) {
            reach[rules[k].conclusion] =
                reach[at] * static_cast<double>(rules[k].support) / static_cast<double>(rules[k].premise_support);
            stack.push_back(rules[k].conclusion);
          }
      }
      return reach;
    };
    std::vector<std::vector<double>> reach;
    for (std::size_t a = 0; a < n; ++a) reach.push_back(chain(a, rules.size()));
    for (Mask p = 0;; ++p) {
      const std::uint64_t p_support = testing::count_of(oracle.extent(p));
      for (Mask q = p; p_support >= min_support && p_support > 0; q = (q + 1) | p) {
        const std::uint64_t q_support = testing::count_of(oracle.extent(q));
        if (q_support >= min_support) {
          const double confidence = static_cast<double>(q_support) / static_cast<double>(p_support);
          const Mask from = close(p);
          const Mask to = close(q);
          ASSERT_EQ(from, oracle.closure(p));
          ASSERT_EQ(to, oracle.closure(q));
          const double derived = from == to ? 1.0 : reach[lattice.index_of_intent(from)][lattice.index_of_intent(to)];
          if (confidence >= min_confidence)
            ASSERT_NEAR(derived, confidence, 1e-12) << "round " << round << " " << p << " -> " << q;
          else
            ASSERT_LT(derived, min_confidence) << "round " << round << " " << p << " -> " << q;
        }
        if (q == oracle.all_attributes()) break;
      }
      if (p == oracle.all_attributes()) break;
    }
    for (std::size_t k = 0; k < rules.size(); ++k)
      EXPECT_EQ(chain(rules[k].premise, k)[rules[k].conclusion], 0.0) << "round " << round << " rule " << k;
  }
}

struct MeasureCase {
  AssociationRule rule;
  std::uint64_t n_objects;
  RuleMeasures expected;
};

TEST(RuleMeasures, FollowTheirDefinitions) {
  const double nan = std::nan("");
  const double infinity = std::numeric_limits<double>::infinity();
  const MeasureCase cases[] = {
      {{0, 1, 3, 4, 5}, 10, {0.75, 1.5, 0.1, 2.0}},
      {{0, 1, 2, 8, 2}, 8, {0.25, 1.0, 0.0, 1.0}},
      {{0, 1, 0, 4, 0}, 10, {0.0, nan, 0.0, 1.0}},
      {{0, 1, 5, 5, 5}, 10, {1.0, 2.0, 0.25, infinity}},
  };
  for (const MeasureCase& c : cases) {
    const RuleMeasures found = rule_measures(c.rule, c.n_objects);
    EXPECT_DOUBLE_EQ(found.confidence, c.expected.confidence);
    if (std::isnan(c.expected.lift))
      EXPECT_TRUE(std::isnan(found.lift));
    else
      EXPECT_DOUBLE_EQ(found.lift, c.expected.lift);
    EXPECT_NEAR(found.leverage, c.expected.leverage, 1e-15);
    EXPECT_EQ(found.conviction, c.expected.conviction);
  }
}

}  // namespace
}  // namespace tessara::engine
