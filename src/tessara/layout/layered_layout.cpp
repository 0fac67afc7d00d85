#include "tessara/layout/layered_layout.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "tessara/core/fault.hpp"
#include "tessara/layout/layering.hpp"
#include "tessara/layout/proper_graph.hpp"

namespace tessara::layout {
namespace {

// How many times the concepts may be placed again with more room.
constexpr int kRespaceRounds = 2;

// The height of every layer's line: consecutive layers far enough apart for
// the lower extents of the one and the upper extents of the other.
std::vector<double> layer_heights(const ProperGraph& graph, std::span<const NodeExtent> extents,
                                  const LayeredLayoutOptions& options) {
  const std::size_t layers = graph.layer_count();
  std::vector<double> above(layers, 0.0);
  std::vector<double> below(layers, 0.0);
  for (std::uint32_t v = 0; v < graph.concept_count(); ++v) {
    above[graph.layer_of(v)] = std::max(above[graph.layer_of(v)], extents[v].above);
    below[graph.layer_of(v)] = std::max(below[graph.layer_of(v)], extents[v].below);
  }
  std::vector<double> y(layers, 0.0);
  for (std::size_t k = 1; k < layers; ++k)
    y[k] = y[k - 1] + std::max(options.min_layer_distance, below[k - 1] + options.layer_gap + above[k]);
  return y;
}

// Where the concepts and bends of the ordered graph go: horizontal positions
// from the extents, layers as far apart as the extents need.
Drawing place(const ProperGraph& graph, std::span<const core::CoverEdge> edges, std::span<const NodeExtent> extents,
              std::span<const SideRoom> room, const LayeredLayoutOptions& options) {
  const std::size_t concept_count = graph.concept_count();
  std::vector<double> left(concept_count);
  std::vector<double> right(concept_count);
  for (std::size_t v = 0; v < concept_count; ++v) {
    left[v] = extents[v].half_width + (room.empty() ? 0.0 : room[v].left);
    right[v] = extents[v].half_width + (room.empty() ? 0.0 : room[v].right);
  }
  const std::vector<double> x = assign_x(graph, left, right, options.coordinates);
  std::vector<double> y = layer_heights(graph, extents, options);

  // Centre the drawing on x = 0.
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (std::uint32_t v = 0; v < graph.node_count(); ++v) {
    low = std::min(low, x[v]);
    high = std::max(high, x[v]);
  }
  const double shift = -(low + high) / 2.0;
  const double height = y.back();
  if (height > 0.0 && high - low > options.max_aspect * height) {
    const double stretch = std::min(options.max_stretch, (high - low) / (options.max_aspect * height));
    for (double& line : y) line *= stretch;
  }

  Drawing drawing;
  drawing.edges.assign(edges.begin(), edges.end());
  drawing.nodes.resize(concept_count);
  for (std::uint32_t v = 0; v < concept_count; ++v) drawing.nodes[v] = Point{x[v] + shift, y[graph.layer_of(v)]};
  if (graph.node_count() > concept_count) {
    drawing.bend_start.resize(edges.size() + 1);
    drawing.bends.reserve(graph.node_count() - concept_count);
    for (std::size_t e = 0; e < edges.size(); ++e) {
      drawing.bend_start[e] = drawing.bends.size();
      for (std::uint32_t j = 0; j < graph.dummy_count(e); ++j) {
        const std::uint32_t d = graph.first_dummy(e) + j;
        drawing.bends.push_back(Point{x[d] + shift, y[graph.layer_of(d)]});
      }
    }
    drawing.bend_start[edges.size()] = drawing.bends.size();
  }
  return drawing;
}

}  // namespace

LayeredLayout layered_layout(std::size_t concept_count, std::span<const core::CoverEdge> edges,
                             std::span<const NodeExtent> extents, const LayeredLayoutOptions& options) {
  if (extents.size() != concept_count) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  LayeredLayout result;
  result.drawing.edges.assign(edges.begin(), edges.end());
  if (concept_count == 0) return result;

  // Each step before the crossing reduction takes a good fraction of a second on a lattice of a few hundred
  // thousand concepts: a stopped layout leaves after the step it is in.
  const KeepGoing& keep = options.crossing.keep_going;
  const HasseGraph hasse(concept_count, edges);
  if (!keep_going(keep)) return result;
  std::vector<std::uint32_t> layers = assign_layers(hasse);
  if (!keep_going(keep)) return result;
  ProperGraph graph(hasse, edges, std::move(layers));
  if (!keep_going(keep)) return result;
  result.layers = graph.layer_count();
  result.crossings = reduce_crossings(graph, options.crossing);

  result.drawing = place(graph, edges, extents, {}, options);
  if (options.respace) {
    std::vector<SideRoom> room(concept_count);
    for (int round = 0; round < kRespaceRounds && options.respace(result.drawing, room); ++round)
      result.drawing = place(graph, edges, extents, room, options);
  }
  return result;
}

}  // namespace tessara::layout
