#include "tessara/layout/sugiyama.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "tessara/core/covering.hpp"
#include "tessara/core/fault.hpp"
#include "tessara/trace/trace.hpp"

namespace tessara::layout {
namespace {

using core::CoverEdge;
using core::InternalFault;
namespace fault_text = core::fault_text;

using Layers = std::vector<std::vector<std::uint32_t>>;

// Neighbour lists of every concept in one direction, stored contiguously:
// the neighbours of v are targets_[offsets_[v] .. offsets_[v + 1]), in the
// order their edges appear in the covering list. Given the layer of every
// concept, only the edges between adjacent layers are kept: the sweeps look
// at nothing else.
class Neighbours {
 public:
  enum class Direction { Upper, Lower };

  Neighbours(std::size_t n, std::span<const CoverEdge> edges, Direction direction,
             std::span<const std::uint32_t> layer_of = {})
      : direction_(direction), offsets_(n + 1, 0) {
    const auto kept = [&](const CoverEdge& edge) {
      return layer_of.empty() || layer_of[edge.lower] == layer_of[edge.upper] + 1;
    };
    for (const CoverEdge& edge : edges)
      if (kept(edge)) ++offsets_[source(edge, n) + 1];
    for (std::size_t v = 0; v < n; ++v) offsets_[v + 1] += offsets_[v];
    targets_.resize(offsets_[n]);
    std::vector<std::size_t> cursor(offsets_.begin(), offsets_.end() - 1);
    for (const CoverEdge& edge : edges)
      if (kept(edge)) targets_[cursor[source(edge, n)]++] = target(edge);
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
// lowest-placed upper neighbour, and concepts without one lie on layer 0.
// The layer of a concept depends only on its upper neighbours' layers, so any
// order that places every upper neighbour first gives the same layers; this
// one takes a concept as soon as its last upper neighbour is placed (the
// neighbours of an edge are different in extent size, so the order exists).
std::vector<std::uint32_t> assign_layers(std::size_t n, const Neighbours& uppers, const Neighbours& lowers) {
  std::vector<std::uint32_t> layer_of(n, 0);
  std::vector<std::uint32_t> waiting(n);  // upper neighbours not yet placed
  std::vector<std::uint32_t> ready;
  ready.reserve(n);
  for (std::size_t v = 0; v < n; ++v) {
    waiting[v] = static_cast<std::uint32_t>(uppers.of(static_cast<std::uint32_t>(v)).size());
    if (waiting[v] == 0) ready.push_back(static_cast<std::uint32_t>(v));
  }
  for (std::size_t next = 0; next < ready.size(); ++next) {
    const std::uint32_t v = ready[next];
    for (const std::uint32_t w : lowers.of(v)) {
      layer_of[w] = std::max(layer_of[w], layer_of[v] + 1);
      if (--waiting[w] == 0) ready.push_back(w);
    }
  }
  if (ready.size() != n) throw InternalFault(fault_text::kIndexOutOfRange);
  return layer_of;
}

// Layer k lists the concepts with layer number k in ascending index order.
Layers group_layers(std::span<const std::uint32_t> layer_of) {
  std::uint32_t deepest = 0;
  for (const std::uint32_t layer : layer_of) deepest = std::max(deepest, layer);
  Layers layers(static_cast<std::size_t>(deepest) + 1);
  for (std::size_t v = 0; v < layer_of.size(); ++v) layers[layer_of[v]].push_back(static_cast<std::uint32_t>(v));
  return layers;
}

// Median-sweep crossing reduction. position_[v] is v's index within its own
// layer and is refreshed after every reordering, so a sweep always sees the
// fixed layer in its latest order. The neighbour lists hold only the edges
// between adjacent layers, so every neighbour lies on the fixed layer.
class CrossingReducer {
 public:
  CrossingReducer(Layers& layers, const Neighbours& uppers, const Neighbours& lowers, std::size_t n)
      : layers_(layers), uppers_(uppers), lowers_(lowers), position_(n) {
    std::size_t widest = 0;
    for (const auto& layer : layers_) {
      record_positions(layer);
      widest = std::max(widest, layer.size());
    }
    // Twice a key stays below twice the widest layer; with the index beside
    // it, one 64-bit word orders a concept when that fits.
    packed_ = widest < (std::size_t{1} << 31);
  }

  // A pass is a function of the layer orders alone, so once a downward and
  // the following upward pass (or the reverse) have both left every layer as
  // it was, every later pass would too: the remaining passes are skipped.
  void run(std::uint64_t passes) {
    const std::size_t count = layers_.size();
    std::uint64_t unchanged_in_a_row = 0;
    for (std::uint64_t pass = 0; pass < passes && unchanged_in_a_row < 2; ++pass) {
      bool changed = false;
      if (pass % 2 == 0) {
        for (std::size_t i = 1; i < count; ++i) changed |= reorder_layer(i, uppers_);
      } else {
        for (std::size_t i = count - 1; i-- > 0;) changed |= reorder_layer(i, lowers_);
      }
      unchanged_in_a_row = changed ? 0 : unchanged_in_a_row + 1;
    }
  }

 private:
  void record_positions(std::span<const std::uint32_t> layer) {
    for (std::size_t i = 0; i < layer.size(); ++i) position_[layer[i]] = static_cast<std::uint32_t>(i);
  }

  // Sorts the layer by key with ties kept in their current order: a sort by
  // (key, current index). Keys already in order leave the layer as it is.
  // Returns whether the order changed.
  bool reorder_layer(std::size_t layer_index, const Neighbours& neighbours) {
    auto& layer = layers_[layer_index];
    keys_.resize(layer.size());
    bool in_order = true;
    std::uint64_t largest_key = 0;
    for (std::size_t i = 0; i < layer.size(); ++i) {
      scratch_.clear();
      for (const std::uint32_t u : neighbours.of(layer[i])) scratch_.push_back(position_[u]);
      keys_[i] = doubled_median_key(scratch_, i);
      in_order = in_order && keys_[i] >= largest_key;
      largest_key = std::max(largest_key, keys_[i]);
    }
    if (in_order) return false;
    reordered_.resize(layer.size());
    if (largest_key < 4 * layer.size()) {
      counting_sort(layer, largest_key);
    } else if (packed_) {
      for (std::size_t i = 0; i < layer.size(); ++i) keys_[i] = (keys_[i] << 32) | i;
      std::sort(keys_.begin(), keys_.end());
      for (std::size_t i = 0; i < layer.size(); ++i) reordered_[i] = layer[keys_[i] & 0xFFFFFFFFu];
    } else {
      keyed_.clear();
      for (std::size_t i = 0; i < layer.size(); ++i) keyed_.emplace_back(keys_[i], i);
      std::sort(keyed_.begin(), keyed_.end());
      for (std::size_t i = 0; i < layer.size(); ++i) reordered_[i] = layer[keyed_[i].second];
    }
    layer.swap(reordered_);
    record_positions(layer);
    return true;
  }

  // Keys are small integers (at most twice the wider of the two layers), so
  // when there are not many more possible keys than concepts a counting sort
  // does it; it is stable, so equal keys keep their current order.
  void counting_sort(std::span<const std::uint32_t> layer, std::uint64_t largest_key) {
    bucket_start_.assign(static_cast<std::size_t>(largest_key) + 2, 0);
    for (std::size_t i = 0; i < layer.size(); ++i) ++bucket_start_[keys_[i] + 1];
    for (std::size_t k = 1; k < bucket_start_.size(); ++k) bucket_start_[k] += bucket_start_[k - 1];
    for (std::size_t i = 0; i < layer.size(); ++i) reordered_[bucket_start_[keys_[i]]++] = layer[i];
  }

  Layers& layers_;
  const Neighbours& uppers_;
  const Neighbours& lowers_;
  std::vector<std::uint32_t> position_;
  bool packed_;
  std::vector<std::uint32_t> scratch_;
  std::vector<std::uint64_t> keys_;                           // twice the key, by current index
  std::vector<std::pair<std::uint64_t, std::size_t>> keyed_;  // (twice the key, current index)
  std::vector<std::uint32_t> reordered_;
  std::vector<std::uint32_t> bucket_start_;
};

// Grid coordinates: layer k at y = k * layer_spacing, its m concepts spaced
// node_spacing apart and centred on x = 0.
std::vector<LayoutNode> assign_coordinates(const Layers& layers, std::size_t n, const LayoutConfig& config) {
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

double clamped_span(const std::vector<LayoutNode>& nodes, double LayoutNode::* axis) {
  if (nodes.empty()) return 0.0;
  double low = nodes.front().*axis;
  double high = low;
  for (const LayoutNode& node : nodes) {
    low = std::min(low, node.*axis);
    high = std::max(high, node.*axis);
  }
  return std::max(high - low, 0.0);
}

}  // namespace

std::uint64_t doubled_median_key(std::span<std::uint32_t> positions, std::size_t current_index) {
  const std::size_t j = positions.size();
  if (j == 0) return 2 * std::uint64_t{current_index};
  if (j == 1) return 2 * std::uint64_t{positions[0]};
  if (j == 2) return std::uint64_t{positions[0]} + positions[1];
  if (j <= 16) {
    // Short lists, the common case, sort fastest by insertion.
    for (std::size_t a = 1; a < j; ++a) {
      const std::uint32_t value = positions[a];
      std::size_t b = a;
      for (; b > 0 && positions[b - 1] > value; --b) positions[b] = positions[b - 1];
      positions[b] = value;
    }
  } else {
    std::sort(positions.begin(), positions.end());
  }
  if (j % 2 == 1) return 2 * std::uint64_t{positions[j / 2]};
  return std::uint64_t{positions[j / 2 - 1]} + positions[j / 2];
}

double median_key(std::span<std::uint32_t> positions, std::size_t current_index) {
  // Halving an integer below 2^53 is exact, so this is the median itself.
  return static_cast<double>(doubled_median_key(positions, current_index)) * 0.5;
}

LatticeLayout sugiyama_layout(core::ConceptLattice& lattice, const LayoutConfig& config) {
  const std::size_t n = lattice.concepts.size();
  if (n == 0) return LatticeLayout{};
  // The cache is filled once and never changes afterwards, so a reference is stable.
  const std::vector<CoverEdge>& edges = core::covering_edges(lattice);

  const Neighbours uppers(n, edges, Neighbours::Direction::Upper);
  const Neighbours lowers(n, edges, Neighbours::Direction::Lower);
  const std::vector<std::uint32_t> layer_of = assign_layers(n, uppers, lowers);
  Layers layers = group_layers(layer_of);
  if (layers.size() >= 2) {
    const Neighbours adjacent_uppers(n, edges, Neighbours::Direction::Upper, layer_of);
    const Neighbours adjacent_lowers(n, edges, Neighbours::Direction::Lower, layer_of);
    CrossingReducer(layers, adjacent_uppers, adjacent_lowers, n).run(config.crossing_iters);
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

}  // namespace tessara::layout
