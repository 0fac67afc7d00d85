#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The module functions that draw lattices: draw (a _lab.Diagram to write in
// the export formats) and layout_crossings.
std::span<PyMethodDef> draw_functions();

// The type of _lab.Diagram, made on first use; null with the error set when
// it cannot be made.
PyTypeObject* kernel_diagram_type();

}  // namespace tessara::lab
