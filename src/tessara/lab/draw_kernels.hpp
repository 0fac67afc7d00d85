#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The module functions that draw lattices: draw (a _lab.Diagram to write in
// the export formats) and layout_crossings.
std::span<PyMethodDef> draw_functions();

}  // namespace tessara::lab
