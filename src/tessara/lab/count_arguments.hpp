#pragma once

#include <cstdint>

#include "tessara/python/python.hpp"

// Checked conversions of the kernels' integer arguments, for PyArg_ParseTuple's
// "O&": an int that does not fit raises OverflowError instead of being taken
// modulo a power of two, as the "K" and "I" format units would.
namespace tessara::lab {

// A Python int in [0, 2**64 - 1] into the std::uint64_t at `target`; returns 1,
// or 0 with TypeError (not an int) or OverflowError set.
int uint64_converter(PyObject* object, void* target);

// A Python int in [0, 2**32 - 1] into the unsigned int at `target` (a thread count).
int thread_count_converter(PyObject* object, void* target);

}  // namespace tessara::lab
