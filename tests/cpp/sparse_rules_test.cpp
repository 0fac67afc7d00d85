// Association rules with the conclusions' supports counted on the object
// lists of a sparse incidence against those counted on packed columns: the
// same rules, counts and order, under both bases, on random baskets and dense
// contexts at every threshold, at the word-boundary shapes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "reference/close_by_one.hpp"
#include "tessara/core/cover_graph.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/core/incidence_forms.hpp"
#include "tessara/engine/association_rules.hpp"

namespace tessara::engine {
namespace {

bool same(const std::vector<AssociationRule>& a, const std::vector<AssociationRule>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k].premise != b[k].premise || a[k].conclusion != b[k].conclusion || a[k].support != b[k].support ||
        a[k].premise_support != b[k].premise_support || a[k].conclusion_support != b[k].conclusion_support)
      return false;
  return true;
}

// Rows of a few attributes each, skewed towards low indices, some empty and some full.
core::Context random_rows(std::mt19937& rng, std::uint32_t objects, std::uint32_t attributes, bool dense) {
  if (dense) return testing::random_context(rng, objects, attributes);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<std::uint32_t>> rows(objects);
  for (auto& row : rows) {
    if (attributes == 0 || unit(rng) < 0.1) continue;
    for (std::uint32_t m = 0; m < attributes; ++m)
      if (unit(rng) < 3.0 / (1.0 + m)) row.push_back(m);
  }
  return testing::context_from_rows(objects, attributes, rows);
}

void expect_same_rules(const core::Context& context, std::uint64_t min_support, const std::string& label) {
  const core::ConceptList all = reference::close_by_one(context).concepts;
  core::ConceptList concepts(all.n_objects(), all.n_attributes());
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all.extent_size(i) >= min_support) concepts.append_from(all, i);
  const core::CoverGraph graph(concepts.size(), core::covering_of_frequent(concepts, context, min_support));
  const core::SparseIncidence incidence = core::sparse_incidence_of(context);
  for (const RuleBasis basis : {RuleBasis::Luxenburger, RuleBasis::All}) {
    for (const double confidence : {0.0, 0.5}) {
      const RuleConstraints constraints = RuleConstraints::none(context.n_attributes(), confidence);
      RunControl packed_control;
      RunControl listed_control;
      const auto packed = association_rules(context, concepts, graph, basis, constraints, packed_control);
      const auto listed = association_rules(incidence, concepts, graph, basis, constraints, listed_control);
      ASSERT_TRUE(packed && listed);
      ASSERT_TRUE(same(*packed, *listed)) << label << " min_support " << min_support << " confidence " << confidence;
    }
  }
}

TEST(SparseRules, EqualThePackedCountsAtEveryThreshold) {
  std::mt19937 rng(103);
  std::uniform_int_distribution<std::uint32_t> size(0, 14);
  for (int round = 0; round < 200; ++round) {
    const std::uint32_t objects = size(rng);
    const core::Context context = random_rows(rng, objects, size(rng), round % 2 == 0);
    for (std::uint64_t min_support = 0; min_support <= objects + 1; ++min_support)
      expect_same_rules(context, min_support, "round " + std::to_string(round));
  }
}

TEST(SparseRules, WordBoundaries) {
  std::mt19937 rng(107);
  for (const std::uint32_t objects : {1u, 2u, 63u, 64u, 65u, 129u})
    for (const std::uint32_t attributes : {1u, 63u, 64u, 65u, 129u})
      for (const std::uint64_t min_support : {std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{objects / 4 + 1}})
        expect_same_rules(random_rows(rng, objects, attributes, false), min_support,
                          std::to_string(objects) + "x" + std::to_string(attributes));
}

}  // namespace
}  // namespace tessara::engine
