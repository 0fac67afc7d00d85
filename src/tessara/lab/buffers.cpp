#include "tessara/lab/buffers.hpp"

#include "tessara/python/py_ref.hpp"

namespace tessara::lab {

using python::PyRef;

std::optional<std::vector<std::uint32_t>> index_array_argument(const char* parameter, PyObject* object,
                                                               std::uint64_t limit) {
  auto indices = array_argument<std::uint32_t>(parameter, object);
  if (!indices) return std::nullopt;
  for (const std::uint32_t index : *indices) {
    if (index >= limit) {
      PyErr_Format(PyExc_IndexError, "argument '%s': index %u out of range for %llu items", parameter, index,
                   static_cast<unsigned long long>(limit));
      return std::nullopt;
    }
  }
  return indices;
}

std::optional<std::vector<std::string>> names_argument(const char* parameter, PyObject* sequence) {
  if (!PyList_Check(sequence) && !PyTuple_Check(sequence)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be a list or tuple of str", parameter);
    return std::nullopt;
  }
  const Py_ssize_t size = PySequence_Size(sequence);
  if (size < 0) return std::nullopt;
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    const PyRef item = PyRef::steal(PySequence_GetItem(sequence, i));
    if (!item) return std::nullopt;
    if (!PyUnicode_Check(item.get())) {
      PyErr_Format(PyExc_TypeError, "argument '%s': item %zd is not a str", parameter, i);
      return std::nullopt;
    }
    const PyRef encoded = PyRef::steal(PyUnicode_AsUTF8String(item.get()));
    if (!encoded) return std::nullopt;
    names.emplace_back(PyBytes_AsString(encoded.get()), static_cast<std::size_t>(PyBytes_Size(encoded.get())));
  }
  return names;
}

PyObject* name_list(const std::vector<std::string>& names) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(names.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < names.size(); ++i) {
    PyObject* name = PyUnicode_DecodeUTF8(names[i].data(), static_cast<Py_ssize_t>(names[i].size()), "replace");
    if (name == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), name);  // steals name
  }
  return list.release();
}

}  // namespace tessara::lab
