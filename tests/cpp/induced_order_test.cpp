#include "tessara/core/induced_order.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "diagram_support.hpp"
#include "tessara/layout/diagram.hpp"
#include "tessara/layout/diagram_writers.hpp"

namespace {

using tessara::core::ConceptList;
using tessara::core::CoverEdge;
using Cover = std::tuple<std::uint32_t, std::uint32_t, bool>;  // lower, upper (positions), skips

bool strictly_below(const ConceptList& concepts, std::uint32_t a, std::uint32_t b) {
  const auto ea = concepts[a].extent.to_set();
  const auto eb = concepts[b].extent.to_set();
  return ea != eb && tessara::core::is_subset(ea, eb);
}

// The covers of the order among the chosen concepts straight from the definition, on extents.
std::set<Cover> covers_by_definition(const ConceptList& concepts, const std::vector<std::uint32_t>& chosen) {
  std::set<Cover> covers;
  const auto k = static_cast<std::uint32_t>(chosen.size());
  for (std::uint32_t a = 0; a < k; ++a)
    for (std::uint32_t b = 0; b < k; ++b) {
      if (!strictly_below(concepts, chosen[a], chosen[b])) continue;
      bool between = false;
      for (std::uint32_t c = 0; c < k && !between; ++c)
        between = strictly_below(concepts, chosen[a], chosen[c]) && strictly_below(concepts, chosen[c], chosen[b]);
      if (between) continue;
      bool skips = false;
      for (std::uint32_t c = 0; c < concepts.size() && !skips; ++c)
        skips = strictly_below(concepts, chosen[a], c) && strictly_below(concepts, c, chosen[b]);
      covers.emplace(a, b, skips);
    }
  return covers;
}

// Random choices of every size that crosses a word boundary of the bit sets, on random lattices.
TEST(InducedOrder, CoversOfTheRestrictedOrderMatchTheDefinition) {
  std::mt19937 rng(2026);
  int checked = 0;
  for (const auto& context : tessara::testing::seeded_contexts(77, 40, 400)) {
    const auto drawn = tessara::testing::drawn_lattice(context);
    const ConceptList& concepts = drawn.lattice.concepts;
    const auto n = static_cast<std::uint32_t>(concepts.size());
    for (const std::uint32_t wanted : {0u, 1u, 2u, 63u, 64u, 65u, 127u, 128u, 129u, n}) {
      if (wanted > n) continue;
      std::vector<std::uint32_t> chosen(n);
      std::iota(chosen.begin(), chosen.end(), 0u);
      std::shuffle(chosen.begin(), chosen.end(), rng);
      chosen.resize(wanted);
      std::set<Cover> found;
      for (const auto& cover : tessara::core::induced_covers(concepts, drawn.edges, chosen))
        found.emplace(cover.lower, cover.upper, cover.skips);
      ASSERT_EQ(found, covers_by_definition(concepts, chosen)) << "lattice of " << n << ", " << wanted << " chosen";
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

TEST(InducedOrder, ChoosingEveryConceptGivesTheLatticesOwnEdges) {
  const auto drawn = tessara::testing::drawn_lattice(tessara::testing::repository_context("tests/data/planets.cxt"));
  std::vector<std::uint32_t> every(drawn.lattice.concepts.size());
  std::iota(every.begin(), every.end(), 0u);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> found;
  for (const auto& cover : tessara::core::induced_covers(drawn.lattice.concepts, drawn.edges, every)) {
    EXPECT_FALSE(cover.skips);
    found.emplace_back(cover.lower, cover.upper);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
  for (const CoverEdge& edge : drawn.edges) expected.emplace_back(edge.lower, edge.upper);
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
}

TEST(InducedOrder, FocusDiagramsKeepTheLatticeIndicesAndDashTheSkips) {
  const auto drawn = tessara::testing::drawn_lattice(tessara::testing::repository_context("tests/data/animals_en.cxt"));
  const ConceptList& concepts = drawn.lattice.concepts;
  // The top, the bottom and every concept with an own object.
  std::vector<std::uint32_t> chosen;
  for (std::uint32_t c = 0; c < concepts.size(); ++c)
    if (c % 3 == 0 || concepts.extent_size(c) == 0 || concepts.extent_size(c) == drawn.context.n_objects())
      chosen.push_back(c);
  const auto d = tessara::layout::make_focus_diagram(drawn.context, concepts, drawn.edges, chosen, {});
  ASSERT_EQ(d.nodes.size(), chosen.size());
  for (std::size_t v = 0; v < chosen.size(); ++v) EXPECT_EQ(d.lattice_index(v), chosen[v]);
  EXPECT_EQ(d.edge_skips.size(), d.drawing.edges.size());
  EXPECT_TRUE(std::count(d.edge_skips.begin(), d.edge_skips.end(), 1) > 0);
  EXPECT_EQ(d.lattice_size, concepts.size());
  const std::string svg = tessara::layout::diagram_svg(d);
  EXPECT_NE(svg.find("stroke-dasharray=\"5 4\""), std::string::npos);
  EXPECT_EQ(d.facts.objects_without_concept, 0u);  // the top holds every object
}

}  // namespace
