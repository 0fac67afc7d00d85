#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// irreducibles, structure, arrows, interval and sublattice: the structure of
// a lattice and the lattices inside it.
std::span<PyMethodDef> structure_functions();

}  // namespace tessara::lab
