#include "tessara/layout/crossing_count.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "diagram_support.hpp"
#include "tessara/layout/layered_layout.hpp"

namespace {

using tessara::core::CoverEdge;
using tessara::layout::Drawing;
using tessara::layout::Point;

// Whether two segments cross at a point inside both (general position:
// no three points on a line).
bool segments_cross(Point a, Point b, Point c, Point d) {
  const auto side = [](Point p, Point q, Point r) { return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x); };
  const double d1 = side(a, b, c);
  const double d2 = side(a, b, d);
  const double d3 = side(c, d, a);
  const double d4 = side(c, d, b);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

std::vector<Point> route(const Drawing& drawing, std::size_t e) {
  std::vector<Point> points{drawing.nodes[drawing.edges[e].upper]};
  for (const Point& bend : drawing.bends_of(e)) points.push_back(bend);
  points.push_back(drawing.nodes[drawing.edges[e].lower]);
  return points;
}

// Every pair of pieces of two different edges, tested directly.
std::uint64_t brute_force_crossings(const Drawing& drawing) {
  std::uint64_t crossings = 0;
  for (std::size_t e = 0; e < drawing.edges.size(); ++e)
    for (std::size_t f = e + 1; f < drawing.edges.size(); ++f) {
      const auto a = route(drawing, e);
      const auto b = route(drawing, f);
      for (std::size_t i = 0; i + 1 < a.size(); ++i)
        for (std::size_t j = 0; j + 1 < b.size(); ++j) crossings += segments_cross(a[i], a[i + 1], b[j], b[j + 1]);
    }
  return crossings;
}

TEST(CountInversions, MatchesPairCounting) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 200; ++trial) {
    const auto size = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
    const auto ranks = std::uniform_int_distribution<std::uint32_t>(1, 12)(rng);
    std::vector<std::uint32_t> sequence(size);
    for (auto& r : sequence) r = std::uniform_int_distribution<std::uint32_t>(0, ranks - 1)(rng);
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i < size; ++i)
      for (std::size_t j = i + 1; j < size; ++j) expected += sequence[i] > sequence[j];
    EXPECT_EQ(tessara::layout::count_inversions(sequence, ranks), expected);
  }
}

// Random drawings of random edge sets: straight edges between points in
// general position, and layered drawings whose edges bend on every line they
// pass (distinct places on each line), as the layered layout draws them.
TEST(CountCrossings, MatchesBruteForceOnRandomDrawings) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 300; ++trial) {
    const bool layered = trial % 2 == 1;
    const std::size_t lines = layered ? 2 + trial % 5 : 0;
    const auto n = std::uniform_int_distribution<std::uint32_t>(2, 14)(rng);
    Drawing drawing;
    std::vector<std::uint32_t> line_of(n);
    for (std::uint32_t v = 0; v < n; ++v) {
      line_of[v] = layered ? std::uniform_int_distribution<std::uint32_t>(0, lines - 1)(rng) : 0;
      drawing.nodes.push_back(Point{unit(rng) * 100.0, layered ? 10.0 * line_of[v] : unit(rng) * 100.0});
    }
    drawing.bend_start.push_back(0);
    for (std::uint32_t a = 0; a < n; ++a)
      for (std::uint32_t b = 0; b < n; ++b) {
        const Point upper = drawing.nodes[a];
        const Point lower = drawing.nodes[b];
        if (lower.y <= upper.y || unit(rng) > 0.35) continue;
        drawing.edges.push_back(CoverEdge{b, a});
        if (layered)
          for (std::uint32_t k = line_of[a] + 1; k < line_of[b]; ++k)
            drawing.bends.push_back(Point{unit(rng) * 100.0, 10.0 * k});
        drawing.bend_start.push_back(drawing.bends.size());
      }
    EXPECT_EQ(tessara::layout::count_crossings(drawing), brute_force_crossings(drawing)) << "trial " << trial;
  }
}

// Two edges from one node cross nowhere there; two straight edges crossing
// exactly on a line through other nodes cross once.
TEST(CountCrossings, SharedEndsAndCrossingsOnALine) {
  Drawing fan;
  fan.nodes = {{0, 0}, {-10, 10}, {10, 10}, {0, 20}};
  fan.edges = {{1, 0}, {2, 0}, {3, 1}, {3, 2}};
  EXPECT_EQ(tessara::layout::count_crossings(fan), 0u);

  Drawing cross;
  cross.nodes = {{-10, 0}, {10, 0}, {-10, 20}, {10, 20}, {-50, 10}};
  cross.edges = {{3, 0}, {2, 1}, {4, 0}};
  EXPECT_EQ(tessara::layout::count_crossings(cross), 1u);
}

// The layered layout reports the crossings of the drawing it makes.
TEST(CountCrossings, LayeredLayoutReportsItsDrawingsCrossings) {
  for (tessara::core::Context& context : tessara::testing::seeded_contexts(3, 12, 300)) {
    const auto drawn = tessara::testing::drawn_lattice(std::move(context));
    const std::size_t n = drawn.lattice.concepts.size();
    const auto layout = tessara::layout::layered_layout(
        n, drawn.edges, std::vector<tessara::layout::NodeExtent>(n, tessara::layout::NodeExtent{5, 5, 5}));
    EXPECT_EQ(layout.crossings, tessara::layout::count_crossings(layout.drawing));
  }
}

}  // namespace
