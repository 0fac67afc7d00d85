#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::layout {

struct LayoutConfig {
  double node_spacing = 80.0;         // horizontal distance between neighbours of one layer
  double layer_spacing = 80.0;        // vertical distance between consecutive layers
  std::uint64_t crossing_iters = 24;  // number of median sweeps, alternately down and up
};

// One concept placed on the drawing. `concept` is a C++ keyword, hence concept_index.
struct LayoutNode {
  double x;
  double y;
  std::uint32_t concept_index;
};

// A cover edge with its ends exchanged: the covering concept first.
struct LayoutEdge {
  std::uint32_t upper;
  std::uint32_t lower;

  friend bool operator==(const LayoutEdge&, const LayoutEdge&) = default;
};

struct LatticeLayout {
  std::vector<LayoutNode> nodes;  // element i describes concept i
  std::vector<LayoutEdge> edges;  // in covering-list order
  double width = 0.0;             // largest x minus smallest x, never below 0
  double height = 0.0;            // largest y minus smallest y, never below 0
};

// Layered drawing of the lattice's Hasse diagram: longest-path layers from the
// top concept down, crossing_iters alternating median sweeps (no dummy nodes),
// and grid coordinates with every layer centred on x = 0 and y growing downward.
// Fills the lattice's cover cache on first use and emits the trace event
// "sugiyama layout complete" unless the lattice has no concepts.
LatticeLayout sugiyama_layout(core::ConceptLattice& lattice, const LayoutConfig& config);

// The ordering key of the concept at `current_index` of a layer, given the
// positions of its neighbours on the fixed layer: the current index when there
// are none, otherwise their median (the mean of the two middle values for an
// even count). Sorts `positions` in place.
double median_key(std::span<std::uint32_t> positions, std::size_t current_index);

// Twice median_key, as an exact integer: layers sort on it without floating
// point, in the same order.
std::uint64_t doubled_median_key(std::span<std::uint32_t> positions, std::size_t current_index);

}  // namespace tessara::layout
