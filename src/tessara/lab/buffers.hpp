#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tessara/python/python.hpp"

// What crosses between the lab's kernels and its Python side: arrays as the raw
// bytes of their elements in native byte order (the Python side reads and
// writes them with numpy.frombuffer and ndarray.tobytes), and lists of str.
namespace tessara::lab {

// A new bytes object holding the elements' bytes; nullptr with an exception set.
template <typename T>
PyObject* bytes_of(std::span<const T> values) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                   static_cast<Py_ssize_t>(values.size_bytes()));
}

// The elements of a bytes argument read as T; nothing with TypeError or
// ValueError (a size that is not a whole number of elements) set.
template <typename T>
std::optional<std::vector<T>> array_argument(const char* parameter, PyObject* object) {
  if (!PyBytes_Check(object)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be bytes", parameter);
    return std::nullopt;
  }
  const auto size = static_cast<std::size_t>(PyBytes_Size(object));
  if (size % sizeof(T) != 0) {
    PyErr_Format(PyExc_ValueError, "argument '%s' holds %zu bytes, not a whole number of %zu-byte items", parameter,
                 size, sizeof(T));
    return std::nullopt;
  }
  std::vector<T> values(size / sizeof(T));
  const char* data = PyBytes_AsString(object);
  if (size != 0) std::memcpy(values.data(), data, size);
  return values;
}

// The elements of a bytes argument read as uint32 indices, each below
// `limit`; nothing with TypeError, ValueError or IndexError set.
std::optional<std::vector<std::uint32_t>> index_array_argument(const char* parameter, PyObject* object,
                                                               std::uint64_t limit);

// A list or tuple of str as UTF-8 strings; nothing with TypeError set.
std::optional<std::vector<std::string>> names_argument(const char* parameter, PyObject* sequence);

// A new list of str from UTF-8 names; nullptr with an exception set.
PyObject* name_list(const std::vector<std::string>& names);

}  // namespace tessara::lab
