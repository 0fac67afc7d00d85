#include "tessara/layout/crossing_count.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tessara/core/fault.hpp"

namespace tessara::layout {
namespace {

// Coordinates closer than this (relative to the drawing's size) are one
// place: interpolated points carry rounding errors far below it.
constexpr double kTolerance = 1e-9;

// Ranks of values where values within `tolerance` of their neighbour in sorted
// order share a rank.
std::vector<std::uint32_t> tolerant_ranks(std::span<const double> values, double tolerance,
                                          std::uint32_t& rank_count) {
  std::vector<std::uint32_t> by_value(values.size());
  for (std::uint32_t i = 0; i < by_value.size(); ++i) by_value[i] = i;
  std::sort(by_value.begin(), by_value.end(), [&](std::uint32_t a, std::uint32_t b) { return values[a] < values[b]; });
  std::vector<std::uint32_t> ranks(values.size());
  std::uint32_t rank = 0;
  for (std::size_t i = 0; i < by_value.size(); ++i) {
    if (i > 0 && values[by_value[i]] - values[by_value[i - 1]] > tolerance) ++rank;
    ranks[by_value[i]] = rank;
  }
  rank_count = values.empty() ? 0 : rank + 1;
  return ranks;
}

// One edge's straight piece inside a band.
struct Piece {
  double top;        // x on the band's upper line
  double above;      // where the edge comes from just above that line (0 when it starts there)
  double bottom;     // x on the band's lower line
};

// Crossing pieces of one band: ordered by their upper ends (ties by where they
// come from just above the line, which decides a crossing exactly on it), a
// pair crosses when the lower ends are in the strictly opposite order.
std::uint64_t band_crossings(std::span<const Piece> pieces, double tolerance) {
  std::vector<double> tops(pieces.size());
  std::vector<double> bottoms(pieces.size());
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    tops[i] = pieces[i].top;
    bottoms[i] = pieces[i].bottom;
  }
  std::uint32_t top_ranks = 0;
  std::uint32_t bottom_rank_count = 0;
  const std::vector<std::uint32_t> top_rank = tolerant_ranks(tops, tolerance, top_ranks);
  const std::vector<std::uint32_t> bottom_rank = tolerant_ranks(bottoms, tolerance, bottom_rank_count);
  std::vector<std::uint32_t> order(pieces.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (top_rank[a] != top_rank[b]) return top_rank[a] < top_rank[b];
    if (std::fabs(pieces[a].above - pieces[b].above) > tolerance) return pieces[a].above < pieces[b].above;
    return bottom_rank[a] < bottom_rank[b];
  });
  std::vector<std::uint32_t> ranks(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) ranks[i] = bottom_rank[order[i]];
  return count_inversions(ranks, bottom_rank_count);
}

}  // namespace

std::uint64_t count_inversions(std::span<const std::uint32_t> ranks, std::uint32_t rank_count) {
  if (ranks.size() < 2) return 0;
  std::size_t first_leaf = 1;
  while (first_leaf < rank_count) first_leaf *= 2;
  std::vector<std::uint64_t> tree(2 * first_leaf - 1, 0);
  std::uint64_t inversions = 0;
  for (const std::uint32_t rank : ranks) {
    if (rank >= rank_count) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    std::size_t index = rank + first_leaf - 1;
    ++tree[index];
    while (index > 0) {
      if (index % 2 == 1) inversions += tree[index + 1];  // earlier ones with a larger rank
      index = (index - 1) / 2;
      ++tree[index];
    }
  }
  return inversions;
}

std::uint64_t count_layer_crossings(const ProperGraph& graph, std::size_t k) {
  // The segments ordered by upper end, then lower end: walking the lower
  // layer in order and appending each node to the lists of its upper
  // neighbours sorts them without comparisons.
  const auto upper = graph.layer(k);
  const auto lower = graph.layer(k + 1);
  std::vector<std::size_t> start(upper.size() + 1, 0);
  for (std::size_t i = 0; i < upper.size(); ++i) start[i + 1] = start[i] + graph.downs(upper[i]).size();
  std::vector<std::uint32_t> ranks(start.back());
  std::vector<std::size_t> cursor(start.begin(), start.end() - 1);
  for (std::uint32_t p = 0; p < lower.size(); ++p)
    for (const std::uint32_t u : graph.ups(lower[p])) ranks[cursor[graph.position(u)]++] = p;
  return count_inversions(ranks, static_cast<std::uint32_t>(lower.size()));
}

std::uint64_t count_crossings(const ProperGraph& graph) {
  std::uint64_t total = 0;
  for (std::size_t k = 0; k + 1 < graph.layer_count(); ++k) total += count_layer_crossings(graph, k);
  return total;
}

std::uint64_t count_crossings(const Drawing& drawing) {
  // The lines: every distinct height of a node or bend.
  std::vector<double> heights;
  double extent = 1.0;
  for (const Point& p : drawing.nodes) {
    heights.push_back(p.y);
    extent = std::max({extent, std::fabs(p.x), std::fabs(p.y)});
  }
  for (const Point& p : drawing.bends) {
    heights.push_back(p.y);
    extent = std::max({extent, std::fabs(p.x), std::fabs(p.y)});
  }
  const double tolerance = kTolerance * extent;
  std::sort(heights.begin(), heights.end());
  std::vector<double> lines;
  for (const double y : heights)
    if (lines.empty() || y - lines.back() > tolerance) lines.push_back(y);
  const auto line_of = [&](double y) {
    const auto it = std::lower_bound(lines.begin(), lines.end(), y - tolerance);
    return static_cast<std::size_t>(it - lines.begin());
  };

  std::vector<std::vector<Piece>> bands(lines.empty() ? 0 : lines.size() - 1);
  std::vector<Point> route;
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    route.clear();
    route.push_back(drawing.nodes[drawing.edges[e].upper]);
    const auto bends = drawing.bends_of(e);
    route.insert(route.end(), bends.begin(), bends.end());
    route.push_back(drawing.nodes[drawing.edges[e].lower]);
    const std::size_t first = line_of(route.front().y);
    const std::size_t last = line_of(route.back().y);
    if (last <= first) throw core::InternalFault("an edge of the drawing does not run downward");
    // x where the route meets each line from `first` to `last`.
    std::vector<double> xs(last - first + 1);
    std::size_t piece = 0;
    for (std::size_t j = first; j <= last; ++j) {
      const double y = lines[j];
      while (piece + 2 < route.size() && route[piece + 1].y < y - tolerance) ++piece;
      const Point& a = route[piece];
      const Point& b = route[piece + 1];
      const double span = b.y - a.y;
      const double t = span > tolerance ? std::clamp((y - a.y) / span, 0.0, 1.0) : 1.0;
      xs[j - first] = j == first ? a.x : (j == last ? route.back().x : a.x + (b.x - a.x) * t);
    }
    for (std::size_t j = first; j < last; ++j) {
      const double top = xs[j - first];
      const double above =
          j == first ? 0.0 : (xs[j - first - 1] - top) / std::max(lines[j] - lines[j - 1], tolerance);
      bands[j].push_back(Piece{top, above, xs[j + 1 - first]});
    }
  }
  std::uint64_t total = 0;
  for (const auto& band : bands) total += band_crossings(band, tolerance);
  return total;
}

}  // namespace tessara::layout
