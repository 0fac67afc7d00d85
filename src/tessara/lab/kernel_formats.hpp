#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// write_context: a context as the bytes of a file in one of the readers'
// formats; save_lattice and load_lattice: a lattice as one JSON document.
std::span<PyMethodDef> format_functions();

}  // namespace tessara::lab
