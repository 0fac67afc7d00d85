#pragma once

// Today's layered layout, kept unchanged as the reference the array-based
// layout is compared with byte for byte. It takes its edges from the direct
// covering scan.

#include <algorithm>
#include <limits>
#include <span>
#include <tuple>
#include <vector>

#include "direct_covering_scan.hpp"
#include "tessara/core/fault.hpp"
#include "tessara/layout/sugiyama.hpp"
#include "tessara/trace/trace.hpp"

namespace tessara::reference {

using layout::LatticeLayout;
using layout::LayoutConfig;
using layout::LayoutEdge;
using layout::LayoutNode;

inline double median_key(std::span<std::uint32_t> positions, std::size_t current_index);
namespace layout_detail {

using core::CoverEdge;
using core::InternalFault;
namespace fault_text = core::fault_text;

using Layers = std::vector<std::vector<std::uint32_t>>;

// Neighbour lists of every concept in one direction, stored contiguously:
// the neighbours of v are targets_[offsets_[v] .. offsets_[v + 1]), in the
// order their edges appear in the covering list.
class Neighbours {
 public:
  enum class Direction { Upper, Lower };

  Neighbours(std::size_t n, std::span<const CoverEdge> edges, Direction direction)
      : direction_(direction), offsets_(n + 1, 0), targets_(edges.size()) {
    for (const CoverEdge& edge : edges) ++offsets_[source(edge, n) + 1];
    for (std::size_t v = 0; v < n; ++v) offsets_[v + 1] += offsets_[v];
    std::vector<std::size_t> cursor(offsets_.begin(), offsets_.end() - 1);
    for (const CoverEdge& edge : edges) targets_[cursor[source(edge, n)]++] = target(edge);
  }

  std::span<const std::uint32_t> of(std::uint32_t v) const {
    return std::span<const std::uint32_t>(targets_).subspan(offsets_[v], offsets_[v + 1] - offsets_[v]);
  }

 private:
  std::size_t source(const CoverEdge& edge, std::size_t n) const {
    if (edge.lower >= n || edge.upper >= n) throw InternalFault(fault_text::kIndexOutOfRange);
    return direction_ == Direction::Upper ? edge.lower : edge.upper;
  }
  std::uint32_t target(const CoverEdge& edge) const { return direction_ == Direction::Upper ? edge.upper : edge.lower; }

  Direction direction_;
  std::vector<std::size_t> offsets_;
  std::vector<std::uint32_t> targets_;
};

// Longest-path layering from the top: a concept lies one layer below its
// lowest-placed upper neighbour. Concepts are visited by extent size, largest
// first, so every upper neighbour (strictly larger extent) is placed before it.
inline std::vector<std::uint32_t> assign_layers(const core::ConceptList& concepts, const Neighbours& uppers) {
  const std::size_t n = concepts.size();
  std::vector<std::uint64_t> sizes(n);
  for (std::size_t v = 0; v < n; ++v) sizes[v] = concepts[v].extent.count();
  std::vector<std::uint32_t> order(n);
  for (std::size_t v = 0; v < n; ++v) order[v] = static_cast<std::uint32_t>(v);
  std::stable_sort(order.begin(), order.end(),
                   [&sizes](std::uint32_t a, std::uint32_t b) { return sizes[a] > sizes[b]; });

  std::vector<std::uint32_t> layer_of(n, 0);
  for (const std::uint32_t v : order) {
    const auto above = uppers.of(v);
    if (above.empty()) continue;
    std::uint32_t deepest = 0;
    for (const std::uint32_t u : above) deepest = std::max(deepest, layer_of[u]);
    layer_of[v] = deepest + 1;
  }
  return layer_of;
}

// Layer k lists the concepts with layer number k in ascending index order.
inline Layers group_layers(std::span<const std::uint32_t> layer_of) {
  std::uint32_t deepest = 0;
  for (const std::uint32_t layer : layer_of) deepest = std::max(deepest, layer);
  Layers layers(static_cast<std::size_t>(deepest) + 1);
  for (std::size_t v = 0; v < layer_of.size(); ++v) layers[layer_of[v]].push_back(static_cast<std::uint32_t>(v));
  return layers;
}

// Median-sweep crossing reduction. position_[v] is v's index within its own
// layer and is refreshed after every reordering, so a sweep always sees the
// fixed layer in its latest order.
class CrossingReducer {
 public:
  CrossingReducer(Layers& layers, std::span<const std::uint32_t> layer_of, const Neighbours& uppers,
                  const Neighbours& lowers)
      : layers_(layers), layer_of_(layer_of), uppers_(uppers), lowers_(lowers), position_(layer_of.size()) {
    for (const auto& layer : layers_) record_positions(layer);
  }

  void run(std::uint64_t passes) {
    const std::size_t count = layers_.size();
    for (std::uint64_t pass = 0; pass < passes; ++pass) {
      if (pass % 2 == 0) {
        for (std::size_t i = 1; i < count; ++i) reorder_layer(i, uppers_, i - 1);
      } else {
        for (std::size_t i = count - 1; i-- > 0;) reorder_layer(i, lowers_, i + 1);
      }
    }
  }

 private:
  void record_positions(std::span<const std::uint32_t> layer) {
    for (std::size_t i = 0; i < layer.size(); ++i) position_[layer[i]] = static_cast<std::uint32_t>(i);
  }

  void reorder_layer(std::size_t layer_index, const Neighbours& neighbours, std::size_t fixed_index) {
    auto& layer = layers_[layer_index];
    keyed_.clear();
    for (std::size_t i = 0; i < layer.size(); ++i) {
      scratch_.clear();
      for (const std::uint32_t u : neighbours.of(layer[i]))
        if (layer_of_[u] == fixed_index) scratch_.push_back(position_[u]);
      keyed_.emplace_back(median_key(scratch_, i), i, layer[i]);
    }
    // Ties on the key fall back to the current index: a stable sort by key.
    std::sort(keyed_.begin(), keyed_.end());
    for (std::size_t i = 0; i < layer.size(); ++i) layer[i] = std::get<2>(keyed_[i]);
    record_positions(layer);
  }

  Layers& layers_;
  std::span<const std::uint32_t> layer_of_;
  const Neighbours& uppers_;
  const Neighbours& lowers_;
  std::vector<std::uint32_t> position_;
  std::vector<std::uint32_t> scratch_;
  std::vector<std::tuple<double, std::size_t, std::uint32_t>> keyed_;
};

// Grid coordinates: layer k at y = k * layer_spacing, its m concepts spaced
// node_spacing apart and centred on x = 0.
inline std::vector<LayoutNode> assign_coordinates(const Layers& layers, std::size_t n, const LayoutConfig& config) {
  std::vector<LayoutNode> nodes(n);
  for (std::size_t k = 0; k < layers.size(); ++k) {
    const auto& layer = layers[k];
    const double spread = layer.empty() ? 0.0 : static_cast<double>(layer.size() - 1);
    const double offset = spread * (-config.node_spacing) * 0.5;
    const double y = static_cast<double>(k) * config.layer_spacing;
    for (std::size_t i = 0; i < layer.size(); ++i) {
      const std::uint32_t v = layer[i];
      nodes[v] = LayoutNode{static_cast<double>(i) * config.node_spacing + offset, y, v};
    }
  }
  return nodes;
}

inline double clamped_span(const std::vector<LayoutNode>& nodes, double LayoutNode::* axis) {
  if (nodes.empty()) return 0.0;
  double low = nodes.front().*axis;
  double high = low;
  for (const LayoutNode& node : nodes) {
    low = std::min(low, node.*axis);
    high = std::max(high, node.*axis);
  }
  return std::max(high - low, 0.0);
}

}  // namespace layout_detail

using namespace layout_detail;

inline double median_key(std::span<std::uint32_t> positions, std::size_t current_index) {
  if (positions.empty()) return static_cast<double>(current_index);
  std::sort(positions.begin(), positions.end());
  const std::size_t j = positions.size();
  if (j % 2 == 1) return static_cast<double>(positions[j / 2]);
  const std::uint64_t sum = std::uint64_t{positions[j / 2 - 1]} + positions[j / 2];
  return static_cast<double>(sum) * 0.5;
}

inline LatticeLayout sugiyama_layout(core::ConceptLattice& lattice, const LayoutConfig& config) {
  const std::size_t n = lattice.concepts.size();
  if (n == 0) return LatticeLayout{};
  // The cache is filled once and never changes afterwards, so a reference is stable.
  const std::vector<CoverEdge>& edges = reference::covering_edges(lattice);

  const Neighbours uppers(n, edges, Neighbours::Direction::Upper);
  const std::vector<std::uint32_t> layer_of = assign_layers(lattice.concepts, uppers);
  Layers layers = group_layers(layer_of);
  if (layers.size() >= 2) {
    const Neighbours lowers(n, edges, Neighbours::Direction::Lower);
    CrossingReducer(layers, layer_of, uppers, lowers).run(config.crossing_iters);
  }

  LatticeLayout layout;
  layout.nodes = assign_coordinates(layers, n, config);
  layout.edges.reserve(edges.size());
  for (const CoverEdge& edge : edges) layout.edges.push_back(LayoutEdge{edge.upper, edge.lower});
  layout.width = clamped_span(layout.nodes, &LayoutNode::x);
  layout.height = clamped_span(layout.nodes, &LayoutNode::y);

  trace::emit("tessara_layout::sugiyama", "sugiyama layout complete", trace::field("nodes", std::uint64_t{n}),
              trace::field("edges", std::uint64_t{edges.size()}), trace::field("layers", std::uint64_t{layers.size()}),
              trace::field("crossing_iters", std::uint64_t{config.crossing_iters}));
  return layout;
}

}  // namespace tessara::reference
