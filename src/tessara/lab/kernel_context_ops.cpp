#include "tessara/lab/kernel_context_ops.hpp"

#include <memory>
#include <vector>

#include "tessara/core/reduction.hpp"
#include "tessara/core/subcontext.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;
using Indices = std::vector<std::uint32_t>;

PyObject* index_bytes(const Indices& indices) { return bytes_of(std::span<const std::uint32_t>(indices)); }

// A pair of bytes objects (objects, attributes) of uint32 indices.
PyObject* index_pair(const Indices& objects, const Indices& attributes) {
  const PyRef first = PyRef::steal(index_bytes(objects));
  if (!first) return nullptr;
  const PyRef second = PyRef::steal(index_bytes(attributes));
  if (!second) return nullptr;
  return PyTuple_Pack(2, first.get(), second.get());
}

PyObject* new_context(core::Context&& context) {
  return new_kernel_context(std::make_shared<const core::Context>(std::move(context)));
}

// closure(context, attributes) -> the attributes shared by every object that
// has all of `attributes`, ascending (bytes of uint32).
PyObject* closure(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    PyObject* attributes_object = nullptr;
    if (!PyArg_ParseTuple(args, "OO:closure", &context_object, &attributes_object)) return nullptr;
    const auto* context = kernel_context_argument("context", context_object);
    if (context == nullptr) return nullptr;
    const core::Context& k = **context;
    const auto attributes = index_array_argument("attributes", attributes_object, k.n_attributes());
    if (!attributes) return nullptr;
    core::AttributeSet wanted = core::AttributeSet::empty(k.n_attributes());
    for (const std::uint32_t m : *attributes) wanted.insert(m);
    return index_bytes(k.intent_of(k.extent_of(wanted)).members());
  });
}

// subcontext(context, objects, attributes) -> Context of the chosen indices, in the order given.
PyObject* subcontext(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    PyObject* objects_object = nullptr;
    PyObject* attributes_object = nullptr;
    if (!PyArg_ParseTuple(args, "OOO:subcontext", &context_object, &objects_object, &attributes_object))
      return nullptr;
    const auto* context = kernel_context_argument("context", context_object);
    if (context == nullptr) return nullptr;
    const auto objects = index_array_argument("objects", objects_object, (*context)->n_objects());
    if (!objects) return nullptr;
    const auto attributes = index_array_argument("attributes", attributes_object, (*context)->n_attributes());
    if (!attributes) return nullptr;
    auto chosen = [&] {
      const python::GilRelease unlocked;
      return core::subcontext(**context, *objects, *attributes);
    }();
    return new_context(std::move(chosen));
  });
}

PyObject* dual(PyObject*, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const auto* context = kernel_context_argument("context", argument);
    if (context == nullptr) return nullptr;
    auto transposed = [&] {
      const python::GilRelease unlocked;
      return core::dual(**context);
    }();
    return new_context(std::move(transposed));
  });
}

// Runs choose_objects and choose_attributes on the context without the lock
// and returns their index lists as a pair of bytes.
template <typename Objects, typename Attributes>
PyObject* chosen_pair(PyObject* argument, Objects&& choose_objects, Attributes&& choose_attributes) {
  return guarded([&]() -> PyObject* {
    const auto* context = kernel_context_argument("context", argument);
    if (context == nullptr) return nullptr;
    Indices objects;
    Indices attributes;
    {
      const python::GilRelease unlocked;
      objects = choose_objects(**context);
      attributes = choose_attributes(**context);
    }
    return index_pair(objects, attributes);
  });
}

PyObject* clarified(PyObject*, PyObject* argument) {
  return chosen_pair(argument, core::clarified_objects, core::clarified_attributes);
}

PyObject* irreducible(PyObject*, PyObject* argument) {
  return chosen_pair(argument, core::irreducible_objects, core::irreducible_attributes);
}

PyMethodDef functions[] = {
    {"closure", closure, METH_VARARGS, "closure(context, attributes: bytes of uint32) -> bytes of uint32"},
    {"subcontext", subcontext, METH_VARARGS, "subcontext(context, objects, attributes: bytes of uint32) -> Context"},
    {"dual", dual, METH_O, "dual(context) -> the transposed Context"},
    {"clarified", clarified, METH_O, "clarified(context) -> (objects, attributes) kept, bytes of uint32"},
    {"irreducible", irreducible, METH_O, "irreducible(context) -> (objects, attributes) kept, bytes of uint32"},
};

}  // namespace

std::span<PyMethodDef> context_ops_functions() { return functions; }

}  // namespace tessara::lab
