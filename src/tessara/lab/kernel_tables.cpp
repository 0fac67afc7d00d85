#include "tessara/lab/kernel_tables.hpp"

#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/lab/signal_checkpoint.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gc_pause.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;

// A new tuple of the named members, sharing the str objects of `names`.
template <typename ForEachMember>
PyObject* member_tuple(PyObject* names, std::uint64_t size, ForEachMember&& for_each_member) {
  PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(size));
  if (tuple == nullptr) return nullptr;
  Py_ssize_t k = 0;
  for_each_member([&](std::uint32_t member) {
    PyObject* name = PyTuple_GetItem(names, static_cast<Py_ssize_t>(member));  // borrowed
    Py_INCREF(name);
    PyTuple_SetItem(tuple, k++, name);  // steals the new reference
  });
  return tuple;
}

// name_tuples(lattice, names, intents) -> a list with one tuple of names per
// concept: its extent's object names, or with intents true its intent's
// attribute names. `names` is the tuple of object (attribute) names, whose str
// objects every tuple shares.
PyObject* name_tuples(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    PyObject* names = nullptr;
    int intents = 0;
    if (!PyArg_ParseTuple(args, "OO!p:name_tuples", &lattice_object, &PyTuple_Type, &names, &intents)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const std::uint64_t expected = intents ? lattice->context->n_attributes() : lattice->context->n_objects();
    if (static_cast<std::uint64_t>(PyTuple_Size(names)) != expected) {
      PyErr_Format(PyExc_ValueError, "argument 'names' holds %zd names, expected %llu", PyTuple_Size(names),
                   static_cast<unsigned long long>(expected));
      return nullptr;
    }
    const core::ConceptList& concepts = lattice->concepts();
    const python::CyclicGcPause no_collection;
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(concepts.size())));
    if (!list) return nullptr;
    SignalCheckpoint checkpoint;
    for (std::size_t i = 0; i < concepts.size(); ++i) {
      if (!checkpoint.pass(intents ? concepts.n_attributes() / 64 : concepts.extent_size(i))) return nullptr;
      PyObject* tuple =
          intents ? member_tuple(names, concepts[i].intent.count(),
                                 [&](auto&& visit) { concepts[i].intent.for_each_member(visit); })
                  : member_tuple(names, concepts.extent_size(i),
                                 [&](auto&& visit) { concepts.for_each_extent_member(i, visit); });
      if (tuple == nullptr) return nullptr;
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), tuple);  // steals tuple
    }
    return list.release();
  });
}

PyMethodDef functions[] = {
    {"name_tuples", name_tuples, METH_VARARGS,
     "name_tuples(lattice, names: tuple of str, intents: bool) -> list of tuples of names, one per concept"},
};

}  // namespace

std::span<PyMethodDef> table_functions() { return functions; }

}  // namespace tessara::lab
