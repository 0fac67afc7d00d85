// The cover edges found from the index lists (SparseNeighbourWalk) against the
// edges of the packed neighbour walk and the direct scan over all pairs, on
// the frequent concepts of random baskets and random dense contexts at every
// threshold, at the word-boundary shapes, on one and on several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "reference/close_by_one.hpp"
#include "reference/direct_covering_scan.hpp"
#include "tessara/core/incidence_forms.hpp"
#include "tessara/engine/cover_edges.hpp"

namespace tessara::engine {
namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;

// Baskets: a few items each, skewed towards low indices, with empty, single
// item and repeated rows.
Rows random_baskets(std::mt19937& rng, std::uint32_t objects, std::uint32_t attributes) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Rows rows(objects);
  if (attributes == 0) return rows;
  for (std::uint32_t g = 0; g < objects; ++g) {
    const double kind = unit(rng);
    if (kind < 0.08) continue;
    if (kind < 0.2 && g > 0) {
      rows[g] = rows[std::uniform_int_distribution<std::uint32_t>(0, g - 1)(rng)];
      continue;
    }
    const std::uint32_t size =
        kind < 0.3 ? 1 : std::min<std::uint32_t>(attributes, std::poisson_distribution<std::uint32_t>(3.0)(rng) + 1);
    while (rows[g].size() < size) {
      const double u = unit(rng);
      const auto m = static_cast<std::uint32_t>(u * u * attributes);
      if (std::find(rows[g].begin(), rows[g].end(), m) == rows[g].end()) rows[g].push_back(m);
    }
  }
  return rows;
}

core::ConceptList frequent_concepts(const core::Context& context, std::uint64_t min_support) {
  const core::ConceptList all = reference::close_by_one(context).concepts;
  core::ConceptList kept(all.n_objects(), all.n_attributes());
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all.extent_size(i) >= min_support) kept.append_from(all, i);
  return kept;
}

void expect_same_edges(const core::Context& context, std::uint64_t min_support, const std::string& label) {
  const core::ConceptList concepts = frequent_concepts(context, min_support);
  const core::SparseIncidence incidence = core::sparse_incidence_of(context);
  // Among frequent concepts (an up-set) the covers are those of the whole lattice.
  const std::vector<core::CoverEdge> expected = reference::direct_covering_scan(concepts);
  RunControl packed_control(RunLimits{min_support});
  const auto packed = cover_edges(concepts, context, min_support, packed_control, 1);
  ASSERT_TRUE(packed.has_value());
  ASSERT_EQ(*packed, expected) << label << " min_support " << min_support << " (packed walk)";
  for (const unsigned threads : {1u, 2u}) {
    RunControl control(RunLimits{min_support});
    const auto sparse = cover_edges(concepts, incidence, min_support, control, threads);
    ASSERT_TRUE(sparse.has_value());
    ASSERT_EQ(*sparse, expected) << label << " min_support " << min_support << " threads " << threads;
  }
}

struct Shape {
  const char* name;
  bool baskets;
  std::uint32_t most_objects;
  std::uint32_t most_attributes;
  int rounds;

  friend void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.name; }
};

class SparseCoverEdges : public ::testing::TestWithParam<Shape> {};

TEST_P(SparseCoverEdges, EqualThePackedWalkAndTheDirectScanAtEveryThreshold) {
  const Shape shape = GetParam();
  std::mt19937 rng(shape.most_objects * 131 + shape.most_attributes + (shape.baskets ? 7 : 0));
  std::uniform_int_distribution<std::uint32_t> objects_of(0, shape.most_objects);
  std::uniform_int_distribution<std::uint32_t> attributes_of(0, shape.most_attributes);
  for (int round = 0; round < shape.rounds; ++round) {
    const std::uint32_t objects = objects_of(rng);
    const std::uint32_t attributes = attributes_of(rng);
    const core::Context context =
        shape.baskets ? testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes))
                      : testing::random_context(rng, objects, attributes);
    for (std::uint64_t min_support = 0; min_support <= objects + 1; ++min_support)
      expect_same_edges(context, min_support, std::string(shape.name) + " round " + std::to_string(round));
  }
}

INSTANTIATE_TEST_SUITE_P(RandomContexts, SparseCoverEdges,
                         ::testing::Values(Shape{"baskets", true, 24, 30, 300}, Shape{"dense", false, 11, 11, 300}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SparseCoverEdgesShapes, WordBoundaries) {
  const std::uint32_t sizes[] = {0, 1, 2, 63, 64, 65, 127, 128, 129};
  std::mt19937 rng(97);
  for (const std::uint32_t objects : sizes) {
    for (const std::uint32_t attributes : sizes) {
      if (objects > 65 && attributes > 65) continue;  // the references' lattices grow too large
      const core::Context context =
          testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
      for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2},
                                              std::uint64_t{objects / 3}})
        expect_same_edges(context, min_support, std::to_string(objects) + "x" + std::to_string(attributes));
    }
  }
}

TEST(SparseCoverEdgesShapes, AStoppedRunGivesNothing) {
  std::mt19937 rng(101);
  const core::Context context = testing::context_from_rows(40, 20, random_baskets(rng, 40, 20));
  const core::ConceptList concepts = frequent_concepts(context, 0);
  ASSERT_GT(concepts.size(), 2u);
  for (const unsigned threads : {1u, 2u}) {
    RunControl control;
    control.cancel();
    EXPECT_FALSE(cover_edges(concepts, core::sparse_incidence_of(context), 0, control, threads).has_value());
  }
}

}  // namespace
}  // namespace tessara::engine
