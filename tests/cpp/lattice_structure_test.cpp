// Lattice structure in the engine: the arrow relations against their
// definition on the word-boundary shapes, the laws and their witnesses on the
// classic small lattices, and the two ways of finding the covers of a part of
// a lattice against each other.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "lattice_support.hpp"
#include "tessara/core/cover_graph.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/core/lattice_lookup.hpp"
#include "tessara/engine/arrow_relations.hpp"
#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/lattice_structure.hpp"
#include "tessara/engine/sublattice.hpp"

namespace {

using tessara::core::Context;
using tessara::core::CoverGraph;
using tessara::engine::CoverSide;

bool member(std::span<const std::uint64_t> words, std::uint64_t i) { return ((words[i / 64] >> (i % 64)) & 1U) != 0; }

bool strictly_inside(const std::vector<bool>& small, const std::vector<bool>& big) {
  bool larger = false;
  for (std::size_t i = 0; i < small.size(); ++i) {
    if (small[i] && !big[i]) return false;
    larger = larger || (big[i] && !small[i]);
  }
  return larger;
}

TEST(ArrowRelations, MatchTheirDefinitionOnWordBoundaryShapes) {
  std::mt19937 rng(11);
  for (const std::uint32_t objects : {0U, 1U, 63U, 64U, 65U, 129U}) {
    for (const std::uint32_t attributes : {0U, 1U, 5U, 64U, 65U, 128U}) {
      const Context context = tessara::testing::random_context(rng, objects, attributes);
      tessara::engine::RunControl control;
      const auto arrows = tessara::engine::arrow_relations(context, control);
      ASSERT_TRUE(arrows.has_value());
      std::vector<std::vector<bool>> rows(objects, std::vector<bool>(attributes));
      std::vector<std::vector<bool>> columns(attributes, std::vector<bool>(objects));
      for (std::uint32_t g = 0; g < objects; ++g)
        for (std::uint32_t m = 0; m < attributes; ++m) rows[g][m] = columns[m][g] = context.row(g).contains(m);
      // The objects (attributes) whose intents (extents) strictly contain each one's.
      std::vector<std::vector<std::uint32_t>> larger_rows(objects);
      std::vector<std::vector<std::uint32_t>> larger_columns(attributes);
      for (std::uint32_t g = 0; g < objects; ++g)
        for (std::uint32_t h = 0; h < objects; ++h)
          if (strictly_inside(rows[g], rows[h])) larger_rows[g].push_back(h);
      for (std::uint32_t m = 0; m < attributes; ++m)
        for (std::uint32_t n = 0; n < attributes; ++n)
          if (strictly_inside(columns[m], columns[n])) larger_columns[m].push_back(n);
      for (std::uint32_t g = 0; g < objects; ++g) {
        for (std::uint32_t m = 0; m < attributes; ++m) {
          bool down = !rows[g][m];
          bool up = !rows[g][m];
          for (const std::uint32_t h : larger_rows[g]) down = down && rows[h][m];
          for (const std::uint32_t n : larger_columns[m]) up = up && columns[n][g];
          ASSERT_EQ(member(arrows->down[g], m), down) << objects << "x" << attributes << " g" << g << " m" << m;
          ASSERT_EQ(member(arrows->up[g], m), up) << objects << "x" << attributes << " g" << g << " m" << m;
        }
      }
    }
  }
}

struct Lattice {
  Context context;
  tessara::core::ConceptLattice lattice;
};

Lattice lattice_of(std::uint32_t objects, std::uint32_t attributes, const std::vector<std::vector<std::uint32_t>>& rows) {
  Lattice made{tessara::testing::context_from_rows(objects, attributes, rows), {}};
  tessara::engine::RunControl control;
  made.lattice.concepts =
      tessara::engine::enumerate_concepts(made.context, tessara::engine::WalkKind::kFcboAscending, control, 1).value();
  tessara::core::covering_edges(made.lattice);
  return made;
}

struct Classic {
  const char* name;
  std::uint32_t size;
  std::vector<std::vector<std::uint32_t>> rows;
  bool upper;
  bool lower;
  bool diamond;
  bool atomic;
};

class ClassicLattices : public ::testing::TestWithParam<Classic> {};

TEST_P(ClassicLattices, AnswerEachLawWithAWitnessThatBreaksIt) {
  const Classic& classic = GetParam();
  const Lattice made = lattice_of(classic.size, classic.size, classic.rows);
  const auto& concepts = made.lattice.concepts;
  const CoverGraph graph(concepts.size(), *made.lattice.cover_cache);
  const tessara::core::LatticeLookup lookup(made.context, concepts);
  for (const auto side : {CoverSide::kUpper, CoverSide::kLower}) {
    const auto failure = tessara::engine::semimodularity_failure(graph, side);
    ASSERT_EQ(!failure, side == CoverSide::kUpper ? classic.upper : classic.lower) << classic.name;
    if (!failure) continue;
    const auto five = tessara::engine::pentagon_from(*failure, side, graph, lookup);
    ASSERT_TRUE(five.has_value());
    const auto [bottom, low, high, side_element, top] = *five;
    EXPECT_EQ(lookup.meet(low, side_element), bottom);
    EXPECT_EQ(lookup.meet(high, side_element), bottom);
    EXPECT_EQ(lookup.join(low, side_element), top);
    EXPECT_EQ(lookup.join(high, side_element), top);
    EXPECT_EQ(lookup.join(low, high), high);
    EXPECT_NE(low, high);
  }
  const auto diamond = tessara::engine::cover_diamond(graph);
  ASSERT_EQ(diamond.has_value(), classic.diamond) << classic.name;
  if (diamond) {
    const auto& [a, b, c] = diamond->middle;
    for (const auto& [x, y] : {std::pair{a, b}, std::pair{a, c}, std::pair{b, c}}) {
      EXPECT_EQ(lookup.meet(x, y), diamond->bottom);
      EXPECT_EQ(lookup.join(x, y), diamond->top);
    }
  }
  EXPECT_EQ(!tessara::engine::join_irreducible_non_atom(graph), classic.atomic) << classic.name;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, ClassicLattices,
    ::testing::Values(Classic{"chain", 3, {{0}, {0, 1}, {0, 1, 2}}, true, true, false, false},
                      Classic{"boolean", 3, {{1, 2}, {0, 2}, {0, 1}}, true, true, false, true},
                      Classic{"diamond", 3, {{0}, {1}, {2}}, true, true, true, true},
                      Classic{"pentagon", 3, {{0, 1}, {1}, {2}}, false, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Sublattice, IntervalCoversFoundBothWaysAgree) {
  std::mt19937 rng(5);
  for (int round = 0; round < 40; ++round) {
    const Context context = tessara::testing::random_context(rng, 1 + round % 9, 1 + round % 7);
    tessara::engine::RunControl control;
    tessara::core::ConceptLattice lattice;
    lattice.concepts =
        tessara::engine::enumerate_concepts(context, tessara::engine::WalkKind::kFcboAscending, control, 1).value();
    const auto& edges = tessara::core::covering_edges(lattice);
    const auto n = static_cast<std::uint32_t>(lattice.concepts.size());
    const std::uint32_t lower = static_cast<std::uint32_t>(rng() % n);
    const auto members = tessara::engine::interval_members(lattice.concepts, lower, std::nullopt);
    const auto restricted = tessara::engine::lattice_of_members(lattice.concepts, edges, members, true);
    const auto compared = tessara::engine::lattice_of_members(lattice.concepts, edges, members, false);
    EXPECT_EQ(*restricted.cover_cache, *compared.cover_cache) << "round " << round;
    EXPECT_EQ(restricted.concepts, compared.concepts);
    const tessara::core::LatticeLookup lookup(context, lattice.concepts);
    const auto generated = tessara::engine::generated_sublattice(lookup, members, control);
    ASSERT_TRUE(generated.has_value());
    EXPECT_EQ(*generated, members) << "a filter is a sublattice already";
  }
}

}  // namespace
