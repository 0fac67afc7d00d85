#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "tessara/core/concept.hpp"
#include "tessara/layout/coordinates.hpp"
#include "tessara/layout/crossing_reduction.hpp"
#include "tessara/layout/drawing.hpp"

namespace tessara::layout {

// The room a concept needs around its centre: its circle and the labels
// stacked above and below it.
struct NodeExtent {
  double half_width;  // to each side
  double above;       // up from the centre
  double below;       // down from the centre
};

// Room a concept needs beyond its extent on one side (a label moved beside its edges).
struct SideRoom {
  double left = 0.0;
  double right = 0.0;
};

struct LayeredLayoutOptions {
  CrossingReductionOptions crossing;
  CoordinateOptions coordinates;
  double layer_gap = 18.0;           // least blank between the extents of consecutive layers
  double min_layer_distance = 64.0;  // least distance between the lines of consecutive layers
  // A drawing wider than this many times its height gets its layers spread
  // apart (by at most max_stretch), so that edges between them do not run
  // nearly flat.
  double max_aspect = 2.5;
  double max_stretch = 2.5;
  // Shown the finished drawing, it may ask for room beside some concepts
  // (where labels found no spot clear of the edges); when it does, the
  // concepts are placed again with that room, on the same layers in the
  // same orders.
  std::function<bool(const Drawing&, std::span<SideRoom>)> respace;
};

struct LayeredLayout {
  Drawing drawing;
  std::uint64_t crossings = 0;  // edge crossings of the drawing
  std::size_t layers = 0;
};

// A layered drawing of the cover edges made for lattices (a whole lattice or
// an iceberg: no bottom is assumed): the top at the top, each concept on a
// layer below all its upper covers (edges shortened, see assign_layers), a
// dummy point where an edge passes a layer, crossings reduced by median
// sweeps, transposition and sifting, and horizontal positions that keep the
// edges short and straight while every concept's extent stays clear of its
// neighbours'. Layers are as far apart as their extents need. The layout is
// centred on x = 0; y grows downward from 0 at the top layer. Edges that pass
// layers bend at their dummy points (which lie close to a straight line).
LayeredLayout layered_layout(std::size_t concept_count, std::span<const core::CoverEdge> edges,
                             std::span<const NodeExtent> extents, const LayeredLayoutOptions& options = {});

}  // namespace tessara::layout
