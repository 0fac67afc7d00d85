#include "tessara/lab/count_arguments.hpp"

#include <limits>

namespace tessara::lab {
namespace {

// The int as an unsigned 64-bit value; false with TypeError or OverflowError set.
bool unsigned_value(PyObject* object, unsigned long long& value) {
  if (!PyLong_Check(object) || PyBool_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "expected an int");
    return false;
  }
  value = PyLong_AsUnsignedLongLong(object);  // OverflowError for negatives and values past 2**64 - 1
  return !(value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr);
}

}  // namespace

int uint64_converter(PyObject* object, void* target) {
  unsigned long long value = 0;
  if (!unsigned_value(object, value)) return 0;
  *static_cast<std::uint64_t*>(target) = value;
  return 1;
}

int thread_count_converter(PyObject* object, void* target) {
  unsigned long long value = 0;
  if (!unsigned_value(object, value)) return 0;
  if (value > std::numeric_limits<unsigned int>::max()) {
    PyErr_Format(PyExc_OverflowError, "a thread count must lie in [0, %u], got %llu",
                 std::numeric_limits<unsigned int>::max(), value);
    return 0;
  }
  *static_cast<unsigned int*>(target) = static_cast<unsigned int>(value);
  return 1;
}

}  // namespace tessara::lab
