#pragma once

#include <cstdint>
#include <vector>

#include "tessara/layout/hasse_graph.hpp"

namespace tessara::layout {

// Layer numbers for a layered drawing, 0 at the top: every concept lies on a
// lower layer than each of its upper covers, and no layer is empty.
//
// Starts from the longest-path layering from the top (each concept one layer
// below its lowest upper cover), then shortens the edges: a concept with more
// lower than upper covers moves down as far as its lower covers allow, one
// with more upper covers moves up, which shortens the edges at it by the
// difference; passes repeat while they move something (at most a few, each
// linear in the edges). Shorter edges mean fewer dummy points and crossings.
std::vector<std::uint32_t> assign_layers(const HasseGraph& graph);

}  // namespace tessara::layout
