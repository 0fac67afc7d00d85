#pragma once

#include <cstdint>
#include <span>

#include "tessara/layout/drawing.hpp"
#include "tessara/layout/proper_graph.hpp"

namespace tessara::layout {

// The number of pairs i < j with ranks[i] > ranks[j]; every rank is below
// rank_count. An accumulator tree over the ranks (Barth, Juenger and Mutzel's
// bilayer cross counting): O(size log rank_count).
std::uint64_t count_inversions(std::span<const std::uint32_t> ranks, std::uint32_t rank_count);

// The crossings between layers k and k+1 of the graph in its current order.
std::uint64_t count_layer_crossings(const ProperGraph& graph, std::size_t k);

// The crossings of the graph in its current order, all layers.
std::uint64_t count_crossings(const ProperGraph& graph);

// The number of points where two edges of the drawing cross, exactly, for any
// drawing whose edges run strictly downward (straight or bent). Two edges
// meeting only at a shared concept do not cross. The plane is cut into bands
// by the horizontal lines through every node and bend; inside a band each
// edge is one straight piece, and two pieces cross when their order on the
// band's upper line is the reverse of that on its lower line. Used by the
// tests and the benchmark to compare layouts; costs O(pieces log pieces).
std::uint64_t count_crossings(const Drawing& drawing);

}  // namespace tessara::layout
