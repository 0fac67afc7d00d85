#include "tessara/core/covering.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "reference/direct_covering_scan.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/layout/sugiyama.hpp"

namespace {

using tessara::core::AttributeSet;
using tessara::core::Concept;
using tessara::core::ConceptLattice;
using tessara::core::CoverEdge;
using tessara::core::NeighbourSide;
using tessara::core::ObjectSet;

using tessara::testing::lattice_from_extents;

struct CoveringCase {
  std::string name;
  std::uint32_t objects;
  std::vector<std::vector<std::uint32_t>> extents;
  std::vector<CoverEdge> expected;  // (lower, upper)
};

class CoveringExamples : public ::testing::TestWithParam<CoveringCase> {};

TEST_P(CoveringExamples, ListsExactlyTheHasseEdgesInOrder) {
  ConceptLattice lattice = lattice_from_extents(GetParam().objects, GetParam().extents);
  EXPECT_EQ(tessara::reference::direct_covering_scan(lattice.concepts), GetParam().expected);
  for (const NeighbourSide side : {NeighbourSide::Attributes, NeighbourSide::Objects})
    EXPECT_EQ(tessara::core::covering_from_neighbours(lattice.concepts, side), GetParam().expected);
  EXPECT_EQ(tessara::core::covering_edges(lattice), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CoveringExamples,
    ::testing::Values(
        CoveringCase{"one_concept", 2, {{0, 1}}, {}},
        CoveringCase{"chain_of_three", 3, {{0, 1, 2}, {0, 1}, {0}}, {{1, 0}, {2, 1}}},
        CoveringCase{"six_concepts",
                     4,
                     {{0, 1, 2, 3}, {0, 1}, {2, 3}, {2}, {0}, {}},
                     {{1, 0}, {2, 0}, {3, 2}, {4, 1}, {5, 3}, {5, 4}}},
        CoveringCase{"long_edge", 3, {{0, 1, 2}, {0, 1}, {2}, {0}, {}}, {{1, 0}, {2, 0}, {3, 1}, {4, 2}, {4, 3}}},
        CoveringCase{
            "reversed_indices", 3, {{}, {0}, {0, 1}, {2}, {0, 1, 2}}, {{0, 1}, {0, 3}, {1, 2}, {2, 4}, {3, 4}}},
        CoveringCase{"two_concepts", 1, {{0}, {}}, {{1, 0}}},
        CoveringCase{"boolean_square", 2, {{}, {0}, {1}, {0, 1}}, {{0, 1}, {0, 2}, {1, 3}, {2, 3}}}),
    [](const auto& info) { return info.param.name; });

// Lists of extents that are no concept lattice: only the direct scan takes
// them, and it relates extents by strict inclusion alone.
class DirectScanOnBareExtents : public ::testing::TestWithParam<CoveringCase> {};

TEST_P(DirectScanOnBareExtents, RelatesStrictInclusionsOnly) {
  ConceptLattice lattice;
  for (const auto& members : GetParam().extents) {
    ObjectSet extent = ObjectSet::empty(GetParam().objects);
    for (const std::uint32_t g : members) extent.insert(g);
    lattice.concepts.push_back(Concept{extent, AttributeSet::empty(0)});
  }
  EXPECT_EQ(tessara::reference::direct_covering_scan(lattice.concepts), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DirectScanOnBareExtents,
    ::testing::Values(CoveringCase{"no_objects", 0, {{}, {}, {}}, {}},
                      CoveringCase{
                          "equal_extents_unrelated", 2, {{0, 1}, {0}, {0}, {}}, {{1, 0}, {2, 0}, {3, 1}, {3, 2}}}),
    [](const auto& info) { return info.param.name; });

TEST(CoverCache, OneConceptCachesAnEmptyList) {
  ConceptLattice lattice = lattice_from_extents(1, {{0}});
  ASSERT_FALSE(lattice.cover_cache.has_value());
  EXPECT_TRUE(tessara::core::covering_edges(lattice).empty());
  ASSERT_TRUE(lattice.cover_cache.has_value());
  EXPECT_TRUE(lattice.cover_cache->empty());
}

TEST(CoverCache, SecondCallReturnsTheStoredListWithoutRecomputing) {
  ConceptLattice lattice = lattice_from_extents(3, {{0, 1, 2}, {0, 1}, {0}});
  const auto& first = tessara::core::covering_edges(lattice);
  const std::vector<CoverEdge> snapshot = first;
  // Were the relation recomputed, dropping a concept would change it.
  lattice.concepts.pop_back();
  const auto& second = tessara::core::covering_edges(lattice);
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(second, snapshot);
}

// ---- Property: random small contexts against an independent oracle ----

struct RandomLattice {
  tessara::core::Context context;
  ConceptLattice lattice;
};

tessara::core::Context random_context(std::mt19937& rng, int max_objects = 7, int max_attributes = 6) {
  std::uniform_int_distribution<int> objects_dist(0, max_objects);
  std::uniform_int_distribution<int> attributes_dist(0, max_attributes);
  std::bernoulli_distribution has(std::uniform_real_distribution<double>(0.2, 0.8)(rng));
  const int objects = objects_dist(rng);
  const int attributes = attributes_dist(rng);
  std::vector<std::string> object_names;
  std::vector<std::string> attribute_names;
  // Names are plain numbers: the covering relation never looks at them.
  for (int g = 0; g < objects; ++g) object_names.push_back(std::to_string(g));
  for (int m = 0; m < attributes; ++m) attribute_names.push_back(std::to_string(m));
  std::vector<tessara::core::IncidenceRow> rows(objects, tessara::core::IncidenceRow(attributes));
  for (auto& row : rows)
    for (int m = 0; m < attributes; ++m) row[m] = has(rng);
  return tessara::core::Context::create(object_names, attribute_names, rows).value();
}

// Every closed attribute set, found by closing every subset; then shuffled,
// because the covering relation must not depend on the concept order.
ConceptLattice brute_force_lattice(const tessara::core::Context& context, std::mt19937& rng) {
  std::vector<Concept> concepts;
  const auto n = static_cast<std::uint32_t>(context.n_attributes());
  for (std::uint32_t mask = 0; mask < (1u << n); ++mask) {
    AttributeSet b = AttributeSet::empty(n);
    for (std::uint32_t m = 0; m < n; ++m)
      if ((mask >> m) & 1u) b.insert(m);
    const ObjectSet extent = context.extent_of(b);
    const AttributeSet intent = context.intent_of(extent);
    if (intent == b) concepts.push_back(Concept{extent, intent});
  }
  std::shuffle(concepts.begin(), concepts.end(), rng);
  ConceptLattice lattice;
  lattice.concepts = tessara::core::ConceptList(concepts);
  return lattice;
}

// Upper neighbours by the object-adding criterion: close extent ∪ {g} for every
// g outside the extent; a closure C is an upper neighbour when adding any
// object of C that is new leads back to C itself.
std::vector<CoverEdge> oracle_covers(const tessara::core::Context& context, const ConceptLattice& lattice) {
  const auto index_of = [&lattice](const ObjectSet& extent) {
    for (std::size_t i = 0; i < lattice.concepts.size(); ++i)
      if (lattice.concepts[i].extent == extent) return static_cast<std::uint32_t>(i);
    ADD_FAILURE() << "closure is not a concept";
    return std::uint32_t{0};
  };
  const auto close_with = [&context](const ObjectSet& extent, std::uint32_t g) {
    ObjectSet grown = extent;
    grown.insert(g);
    return context.extent_of(context.intent_of(grown));
  };
  std::vector<CoverEdge> edges;
  const auto objects = static_cast<std::uint32_t>(context.n_objects());
  for (std::size_t a = 0; a < lattice.concepts.size(); ++a) {
    const ObjectSet extent = lattice.concepts[a].extent.to_set();
    for (std::uint32_t g = 0; g < objects; ++g) {
      if (extent.contains(g)) continue;
      const ObjectSet candidate = close_with(extent, g);
      bool minimal = true;
      for (std::uint32_t h = 0; h < objects && minimal; ++h)
        if (candidate.contains(h) && !extent.contains(h)) minimal = close_with(extent, h) == candidate;
      const CoverEdge edge{static_cast<std::uint32_t>(a), index_of(candidate)};
      if (minimal && std::find(edges.begin(), edges.end(), edge) == edges.end()) edges.push_back(edge);
    }
  }
  std::sort(edges.begin(), edges.end(), [](const CoverEdge& x, const CoverEdge& y) {
    return std::pair{x.lower, x.upper} < std::pair{y.lower, y.upper};
  });
  return edges;
}

TEST(CoveringProperty, MatchesObjectAddingOracleAndDrawsEveryEdgeDownward) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    const tessara::core::Context context = random_context(rng);
    ConceptLattice lattice = brute_force_lattice(context, rng);
    const std::vector<CoverEdge> expected = oracle_covers(context, lattice);
    ASSERT_EQ(tessara::core::covering_edges(lattice), expected) << "round " << round;
    ASSERT_EQ(tessara::reference::direct_covering_scan(lattice.concepts), expected) << "round " << round;

    const auto layout = tessara::layout::sugiyama_layout(lattice, tessara::layout::LayoutConfig{});
    ASSERT_EQ(layout.nodes.size(), lattice.concepts.size());
    for (std::size_t i = 0; i < layout.nodes.size(); ++i) EXPECT_EQ(layout.nodes[i].concept_index, i);
    for (const auto& edge : layout.edges)
      EXPECT_LT(layout.nodes[edge.upper].y, layout.nodes[edge.lower].y) << "round " << round;
  }
}

// Sizes around the word boundaries, paired with a small other side so that
// the reference scan stays quick; the last two spread a concept's set over
// more than four words, where the walk compacts its candidates.
const std::vector<std::uint32_t> kShapeSizes{0, 1, 2, 3, 5, 63, 64, 65, 127, 128, 129, 300, 700};

// Every algorithm's concept order, both walking sides, against the direct scan.
void expect_same_covering(const tessara::core::Context& context, const std::string& label) {
  for (const std::string_view name : tessara::engine::SUPPORTED_ALGORITHMS) {
    const ConceptLattice lattice = tessara::engine::algorithm_by_name(name)->compute(context);
    const std::vector<CoverEdge> expected = tessara::reference::direct_covering_scan(lattice.concepts);
    for (const NeighbourSide side : {NeighbourSide::Attributes, NeighbourSide::Objects})
      ASSERT_EQ(tessara::core::covering_from_neighbours(lattice.concepts, side), expected)
          << label << ", " << name << ", " << (side == NeighbourSide::Attributes ? "attributes" : "objects")
          << " side, " << lattice.concepts.size() << " concepts";
  }
}

TEST(CoveringDifferential, NeighbourWalkEqualsDirectScanOnRandomContexts) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<std::uint32_t> small(0, 7);
  std::uniform_int_distribution<std::uint32_t> medium(0, 12);
  int round = 0;
  for (const std::uint32_t size : kShapeSizes) {
    for (int repeat = 0; repeat < 40; ++repeat, ++round) {
      const std::uint32_t other = small(rng);
      expect_same_covering(tessara::testing::random_context(rng, size, other), "round " + std::to_string(round));
      expect_same_covering(tessara::testing::random_context(rng, other, size), "round " + std::to_string(round));
    }
  }
  for (int repeat = 0; repeat < 600; ++repeat, ++round)
    expect_same_covering(tessara::testing::random_context(rng, medium(rng), medium(rng)),
                         "round " + std::to_string(round));
}

TEST(CoveringDifferential, BothSidesAgreeOnALargerLattice) {
  std::mt19937 rng(5);
  const tessara::core::Context context = tessara::testing::random_context(rng, 100, 16);
  const ConceptLattice lattice = tessara::engine::algorithm_by_name("fcbo")->compute(context);
  ASSERT_GT(lattice.concepts.size(), 500u);
  EXPECT_EQ(tessara::core::covering_from_neighbours(lattice.concepts, NeighbourSide::Attributes),
            tessara::core::covering_from_neighbours(lattice.concepts, NeighbourSide::Objects));
}

}  // namespace
