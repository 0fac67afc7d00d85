#pragma once

#include "tessara/core/context.hpp"
#include "tessara/core/lattice_incidence.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// The arrow relations of a context, both as one packed row of attributes per
// object:
// - g ↙ m (down): g lacks m, and every object whose intent strictly contains
//   g's has m; that is, g' is maximal among the object intents without m;
// - g ↗ m (up): g lacks m, and every attribute whose extent strictly contains
//   m's is had by g; that is, m' is maximal among the attribute extents
//   without g.
// The rows containing a row are found from the columns of its attributes, so
// the work follows the sizes of the rows and columns rather than the square
// of the number of objects.
struct ArrowRelations {
  core::PackedSets down;
  core::PackedSets up;
};

// Nothing when the control stopped the work (Ctrl-C).
std::optional<ArrowRelations> arrow_relations(const core::Context& context, RunControl& control);

}  // namespace tessara::engine
