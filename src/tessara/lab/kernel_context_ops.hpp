#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// closure, subcontext, dual, clarified and irreducible: derivation and new
// contexts made from one.
std::span<PyMethodDef> context_ops_functions();

}  // namespace tessara::lab
