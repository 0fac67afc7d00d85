#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::layout {

struct Point {
  double x;
  double y;
};

// Where the concepts and the cover edges of a diagram go, in drawing units
// with y growing downward. An edge is drawn from its upper concept through its
// bend points (if any) to its lower concept; every edge goes strictly down.
struct Drawing {
  std::vector<Point> nodes;            // by concept index
  std::vector<core::CoverEdge> edges;  // (lower, upper), in the order given to the layout
  std::vector<std::size_t> bend_start;  // edges.size() + 1 offsets into bends, or empty when no edge bends
  std::vector<Point> bends;             // each edge's bend points, from its upper end down

  std::span<const Point> bends_of(std::size_t e) const noexcept {
    if (bend_start.empty()) return {};
    return std::span<const Point>(bends).subspan(bend_start[e], bend_start[e + 1] - bend_start[e]);
  }
};

}  // namespace tessara::layout
