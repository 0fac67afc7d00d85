#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "tessara/python/access.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/python.hpp"

namespace tessara::python {

// The memory layout of an instance of one of the module's types: the object
// header, the access counter and the wrapped C++ value. The value is built in
// place after allocation and destroyed in tp_dealloc.
template <typename Value>
struct Wrapped {
  PyObject_HEAD AccessCounter access;
  Value value;
};

// Allocates an instance of `type` and moves `value` into it. Returns a new
// reference, or nullptr with the allocator's exception set (the value is then
// dropped).
template <typename Value>
PyObject* wrap(PyTypeObject* type, Value&& value) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object == nullptr) return nullptr;
  auto* instance = reinterpret_cast<Wrapped<std::decay_t<Value>>*>(object);
  std::construct_at(&instance->access);
  std::construct_at(&instance->value, std::forward<Value>(value));
  return object;
}

template <typename Value>
void dealloc_wrapped(PyObject* object) {
  auto* instance = reinterpret_cast<Wrapped<Value>*>(object);
  std::destroy_at(&instance->value);
  std::destroy_at(&instance->access);
  PyTypeObject* type = Py_TYPE(object);
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(object);
  Py_DECREF(type);  // instances of heap types own a reference to their type
}

template <typename Value>
Wrapped<Value>& unwrap(PyObject* object) {
  return *reinterpret_cast<Wrapped<Value>*>(object);
}

// Shared access to an instance known to be of the wrapped type; nothing with
// RuntimeError set when an exclusive access is held.
template <typename Value>
std::optional<SharedAccess> share(PyObject* object, const char* type_name) {
  Wrapped<Value>& instance = unwrap<Value>(object);
  if (!instance.access.try_acquire_shared()) {
    PyErr_Format(PyExc_RuntimeError, "this %s is in use by a drawing and cannot be read now", type_name);
    return std::nullopt;
  }
  return std::optional<SharedAccess>(std::in_place, object, instance.access);
}

// Refuses every call of the class from Python: instances come only from the
// module's functions.
PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs);

}  // namespace tessara::python
