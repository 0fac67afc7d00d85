#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The module functions of walks that run as separate units (on a thread pool,
// a Dask or a Ray cluster): unit_walk makes a UnitWalk, which hands out the
// first unit and runs any unit for a budget of concepts.
std::span<PyMethodDef> unit_functions();

// _lab.UnitWalk, built on first use and kept for the life of the process.
PyTypeObject* unit_walk_type();

}  // namespace tessara::lab
