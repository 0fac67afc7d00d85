#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The module functions of long runs: mine_lattice (iceberg lattices with
// limits, threads, progress and Ctrl-C) and open_stream (concepts in batches).
std::span<PyMethodDef> run_functions();

}  // namespace tessara::lab
