#pragma once

#include "tessara/core/context.hpp"
#include "tessara/core/sparse_incidence.hpp"

namespace tessara::core {

// The crosses of a packed context as sorted lists in both directions, for the
// kernels that walk occurrence lists. Costs one pass over the packed rows.
SparseIncidence sparse_incidence_of(const Context& context);

}  // namespace tessara::core
