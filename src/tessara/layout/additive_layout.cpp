#include "tessara/layout/additive_layout.hpp"

#include <algorithm>
#include <cmath>

#include "tessara/layout/hasse_graph.hpp"

namespace tessara::layout {

Drawing additive_layout(const DiagramSource& source, const ConceptFacts& facts, const Drawing& layered) {
  const std::size_t n = source.concepts.size();
  Drawing drawing;
  drawing.edges.assign(source.edges.begin(), source.edges.end());
  if (n == 0) return drawing;
  const HasseGraph graph(n, source.edges);

  // One vector per meet-irreducible attribute concept, on its first attribute:
  // one step down, and sideways as far as the concept lies from its upper
  // cover in the layered drawing per layer between them.
  double step = 0.0;
  for (const Point& p : layered.nodes)
    if (p.y > 0.0 && (step == 0.0 || p.y < step)) step = p.y;
  if (step == 0.0) step = 64.0;
  std::vector<Point> vector_of(source.context.n_attributes(), Point{0.0, 0.0});
  std::vector<char> counts(source.context.n_attributes(), 0);
  for (std::uint32_t c = 0; c < n; ++c) {
    const auto own = facts.own_attributes[c];
    const auto uppers = graph.uppers(c);
    if (own.empty() || uppers.size() != 1) continue;
    const Point from = layered.nodes[uppers[0]];
    const Point to = layered.nodes[c];
    const double layers = std::max(1.0, std::round((to.y - from.y) / step));
    vector_of[own[0]] = Point{(to.x - from.x) / layers, step};
    counts[own[0]] = 1;
  }
  // Sideways parts balanced around zero, so the bottom (the sum of all
  // vectors) lies under the top.
  double mean = 0.0;
  std::size_t irreducible = 0;
  for (std::size_t m = 0; m < vector_of.size(); ++m)
    if (counts[m]) {
      mean += vector_of[m].x;
      ++irreducible;
    }
  if (irreducible > 0) mean /= static_cast<double>(irreducible);
  for (std::size_t m = 0; m < vector_of.size(); ++m)
    if (counts[m]) vector_of[m].x -= mean;
  // Concepts without upper covers (the top) keep their layered places as origins.
  drawing.nodes.resize(n);
  for (std::uint32_t c = 0; c < n; ++c) {
    Point at{0.0, 0.0};
    core::for_each_bit(source.concepts.intent_words(c), [&](std::uint32_t m) {
      if (counts[m]) {
        at.x += vector_of[m].x;
        at.y += vector_of[m].y;
      }
    });
    drawing.nodes[c] = at;
  }
  // Offset by the first top concept's layered place, so both drawings share an origin.
  for (std::uint32_t c = 0; c < n; ++c)
    if (graph.uppers(c).empty()) {
      const Point origin{layered.nodes[c].x - drawing.nodes[c].x, layered.nodes[c].y - drawing.nodes[c].y};
      for (Point& p : drawing.nodes) {
        p.x += origin.x;
        p.y += origin.y;
      }
      break;
    }
  return drawing;
}

}  // namespace tessara::layout
