#include "tessara/layout/layered_layout.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "diagram_support.hpp"
#include "tessara/layout/crossing_count.hpp"
#include "tessara/layout/hasse_graph.hpp"
#include "tessara/layout/layering.hpp"
#include "tessara/layout/sugiyama.hpp"

namespace {

using tessara::layout::NodeExtent;
using tessara::testing::DrawnLattice;

// Extents of various widths and heights, as labels make them.
std::vector<NodeExtent> varied_extents(std::size_t n) {
  std::vector<NodeExtent> extents(n);
  for (std::size_t v = 0; v < n; ++v)
    extents[v] = NodeExtent{5.0 + static_cast<double>(v % 7) * 9.0, 5.0 + static_cast<double>(v % 3) * 14.0,
                            5.0 + static_cast<double>(v % 4) * 11.0};
  return extents;
}

void expect_valid_layout(const DrawnLattice& drawn, const std::string& name) {
  const std::size_t n = drawn.lattice.concepts.size();
  const std::vector<NodeExtent> extents = varied_extents(n);
  const tessara::layout::LayeredLayoutOptions options;
  const auto layout = tessara::layout::layered_layout(n, drawn.edges, extents, options);
  const auto& drawing = layout.drawing;
  ASSERT_EQ(drawing.nodes.size(), n) << name;
  ASSERT_EQ(drawing.edges.size(), drawn.edges.size()) << name;
  // Every edge runs down through its bends, which lie on layer lines.
  std::map<double, std::vector<std::size_t>> by_line;
  for (std::size_t v = 0; v < n; ++v) by_line[drawing.nodes[v].y].push_back(v);
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    double y = drawing.nodes[drawing.edges[e].upper].y;
    for (const auto& bend : drawing.bends_of(e)) {
      EXPECT_GT(bend.y, y) << name << " edge " << e;
      EXPECT_TRUE(by_line.contains(bend.y)) << name << " edge " << e;
      y = bend.y;
    }
    EXPECT_GT(drawing.nodes[drawing.edges[e].lower].y, y) << name << " edge " << e;
  }
  // Concepts of one layer keep their extents apart; consecutive layers too.
  double previous_line = 0.0;
  double previous_below = 0.0;
  bool first = true;
  for (auto& [y, members] : by_line) {
    std::sort(members.begin(), members.end(),
              [&](std::size_t a, std::size_t b) { return drawing.nodes[a].x < drawing.nodes[b].x; });
    for (std::size_t i = 1; i < members.size(); ++i) {
      const std::size_t a = members[i - 1];
      const std::size_t b = members[i];
      EXPECT_GE(drawing.nodes[b].x - drawing.nodes[a].x + 1e-6,
                extents[a].half_width + extents[b].half_width + options.coordinates.concept_gap)
          << name << " concepts " << a << " and " << b;
    }
    double above = 0.0;
    double below = 0.0;
    for (const std::size_t v : members) {
      above = std::max(above, extents[v].above);
      below = std::max(below, extents[v].below);
    }
    if (!first) {
      EXPECT_GE(y - previous_line + 1e-6, previous_below + options.layer_gap + above) << name;
    }
    previous_line = y;
    previous_below = below;
    first = false;
  }
  EXPECT_EQ(layout.crossings, tessara::layout::count_crossings(drawing)) << name;
}

TEST(LayeredLayout, ValidOnRandomLatticesAndIcebergs) {
  int index = 0;
  for (tessara::core::Context& context : tessara::testing::seeded_contexts(17, 30, 400)) {
    const DrawnLattice drawn = tessara::testing::drawn_lattice(std::move(context));
    expect_valid_layout(drawn, "random " + std::to_string(index));
    expect_valid_layout(tessara::testing::iceberg_of(drawn, 2), "iceberg " + std::to_string(index));
    ++index;
  }
  expect_valid_layout(tessara::testing::drawn_lattice(tessara::testing::context_from_rows(0, 0, {})), "empty");
  expect_valid_layout(tessara::testing::drawn_lattice(tessara::testing::context_from_rows(1, 1, {{0}})), "one");
}

// Every concept lies below its upper covers, the top on layer 0, and the
// layers are no longer apart than the edge-shortening allows.
TEST(Layering, PlacesEveryConceptBelowItsUpperCovers) {
  for (tessara::core::Context& context : tessara::testing::seeded_contexts(23, 20, 500)) {
    const DrawnLattice drawn = tessara::testing::drawn_lattice(std::move(context));
    const tessara::layout::HasseGraph graph(drawn.lattice.concepts.size(), drawn.edges);
    const auto layer_of = tessara::layout::assign_layers(graph);
    std::vector<char> used(graph.size(), 0);
    for (std::uint32_t v = 0; v < graph.size(); ++v) {
      used[layer_of[v]] = 1;
      if (graph.uppers(v).empty()) {
        EXPECT_EQ(layer_of[v], 0u);
      }
      for (const std::uint32_t u : graph.uppers(v)) EXPECT_LT(layer_of[u], layer_of[v]);
    }
    const auto deepest = *std::max_element(layer_of.begin(), layer_of.end());
    for (std::uint32_t k = 0; k <= deepest; ++k) EXPECT_TRUE(used[k]) << "empty layer " << k;
  }
}

// The crossings of the new layout against the fixed module's layout (its
// long edges drawn straight, as its SVG draws them) over a fixed set: the
// test data, the example, and seeded random contexts.
TEST(LayeredLayout, CrossesAtLeastThirtyPercentLessThanTheModulesLayout) {
  std::vector<tessara::core::Context> contexts;
  for (const char* file : {"tests/data/animals_en.cxt", "tests/data/tealady.cxt", "tests/data/liveinwater.csv",
                           "tests/data/seasoningplanner_de.cxt", "examples/data/animals.cxt"})
    contexts.push_back(tessara::testing::repository_context(file));
  for (tessara::core::Context& context : tessara::testing::seeded_contexts(2026, 24, 600))
    contexts.push_back(std::move(context));
  std::uint64_t module_total = 0;
  std::uint64_t new_total = 0;
  for (tessara::core::Context& context : contexts) {
    DrawnLattice drawn = tessara::testing::drawn_lattice(std::move(context));
    const std::size_t n = drawn.lattice.concepts.size();
    const auto module_layout = tessara::layout::sugiyama_layout(drawn.lattice, tessara::layout::LayoutConfig{});
    tessara::layout::Drawing straight;
    for (const auto& node : module_layout.nodes) straight.nodes.push_back({node.x, node.y});
    straight.edges = drawn.edges;
    module_total += tessara::layout::count_crossings(straight);
    new_total += tessara::layout::layered_layout(n, drawn.edges, std::vector<NodeExtent>(n, NodeExtent{6, 6, 6}))
                     .crossings;
  }
  std::cout << "crossings: module layout " << module_total << ", layered layout " << new_total << " ("
            << 100.0 - 100.0 * static_cast<double>(new_total) / static_cast<double>(module_total) << "% fewer)\n";
  EXPECT_LE(static_cast<double>(new_total), 0.7 * static_cast<double>(module_total));
}

}  // namespace
