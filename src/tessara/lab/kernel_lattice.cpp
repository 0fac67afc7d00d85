#include "tessara/lab/kernel_lattice.hpp"

#include <string>
#include <vector>

#include "tessara/core/covering.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"

namespace tessara::lab {
namespace {

using python::guarded;

const KernelLattice& lattice_of(PyObject* self) { return python::unwrap<KernelLattice>(self).value; }

// The concept index of an int argument; nullopt with IndexError or TypeError set.
std::optional<std::size_t> concept_index(const KernelLattice& lattice, PyObject* argument) {
  const long long index = PyLong_AsLongLong(argument);
  if (index == -1 && PyErr_Occurred()) return std::nullopt;
  if (index < 0 || static_cast<unsigned long long>(index) >= lattice.concepts().size()) {
    PyErr_Format(PyExc_IndexError, "concept index %lld out of range for %zu concepts", index,
                 lattice.concepts().size());
    return std::nullopt;
  }
  return static_cast<std::size_t>(index);
}

PyObject* get_n_concepts(PyObject* self, void*) { return PyLong_FromSize_t(lattice_of(self).concepts().size()); }

PyObject* get_context(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    if (!lattice_of(self).context) return python::raise_value_error("this batch of concepts has no kernel context");
    return new_kernel_context(lattice_of(self).context);
  });
}

// extent(i) -> the objects of concept i, ascending, as bytes of uint32.
PyObject* extent_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const KernelLattice& lattice = lattice_of(self);
    const auto i = concept_index(lattice, argument);
    if (!i) return nullptr;
    std::vector<std::uint32_t> members;
    members.reserve(lattice.concepts().extent_size(*i));
    lattice.concepts().for_each_extent_member(*i, [&](std::uint32_t g) { members.push_back(g); });
    return bytes_of(std::span<const std::uint32_t>(members));
  });
}

// intent(i) -> the attributes of concept i, ascending, as bytes of uint32.
PyObject* intent_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const KernelLattice& lattice = lattice_of(self);
    const auto i = concept_index(lattice, argument);
    if (!i) return nullptr;
    const std::vector<std::uint32_t> members = lattice.concepts()[*i].intent.members();
    return bytes_of(std::span<const std::uint32_t>(members));
  });
}

// extent_sizes() -> the number of objects of every concept, as bytes of uint64.
PyObject* extent_sizes_method(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const core::ConceptList& concepts = lattice_of(self).concepts();
    std::vector<std::uint64_t> sizes(concepts.size());
    for (std::size_t i = 0; i < concepts.size(); ++i) sizes[i] = concepts.extent_size(i);
    return bytes_of(std::span<const std::uint64_t>(sizes));
  });
}

// edges() -> the cover edges as (lower, upper) pairs of uint32, sorted.
PyObject* edges_method(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const std::vector<core::CoverEdge>& edges = lattice_of(self).edges();
    static_assert(sizeof(core::CoverEdge) == 2 * sizeof(std::uint32_t));
    return bytes_of(std::span<const core::CoverEdge>(edges));
  });
}

PyMethodDef lattice_methods[] = {
    {"extent", extent_method, METH_O, "extent(i) -> bytes of uint32"},
    {"intent", intent_method, METH_O, "intent(i) -> bytes of uint32"},
    {"extent_sizes", extent_sizes_method, METH_NOARGS, "extent_sizes() -> bytes of uint64"},
    {"edges", edges_method, METH_NOARGS, "edges() -> bytes of uint32 (lower, upper) pairs"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef lattice_properties[] = {
    {"n_concepts", get_n_concepts, nullptr, "The number of concepts.", nullptr},
    {"context", get_context, nullptr, "The context the lattice was computed from.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot lattice_slots[] = {
    {Py_tp_doc, const_cast<char*>("The concepts of a context with their cover edges, held by the lab's kernels.")},
    {Py_tp_new, reinterpret_cast<void*>(python::refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(python::dealloc_wrapped<KernelLattice>)},
    {Py_tp_methods, lattice_methods},
    {Py_tp_getset, lattice_properties},
    {0, nullptr},
};

PyType_Spec lattice_spec = {
    "tessara._lab.Lattice", static_cast<int>(sizeof(KernelLatticeObject)), 0, Py_TPFLAGS_DEFAULT, lattice_slots,
};

// compute_lattice(context, algorithm) -> Lattice: every concept by the named
// algorithm, and the cover edges, without the interpreter lock.
PyObject* compute_lattice(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    const char* algorithm_name = nullptr;
    if (!PyArg_ParseTuple(args, "Os:compute_lattice", &context_object, &algorithm_name)) return nullptr;
    const KernelContext* kernel = kernel_context_of("context", context_object);
    if (kernel == nullptr) return nullptr;
    const auto* context = kernel_context_argument("context", context_object);
    if (context == nullptr) return nullptr;
    const engine::ConceptAlgorithm* algorithm = engine::algorithm_by_name(algorithm_name);
    if (algorithm == nullptr) return python::raise_value_error(engine::unknown_algorithm_message(algorithm_name));
    KernelLattice value{kernel->stored, {}};
    {
      const python::GilRelease unlocked;
      value.lattice = algorithm->compute(**context);
      core::covering_edges(value.lattice);
    }
    return new_kernel_lattice(std::move(value));
  });
}

PyMethodDef functions[] = {
    {"compute_lattice", compute_lattice, METH_VARARGS, "compute_lattice(context, algorithm) -> Lattice"},
};

}  // namespace

const core::Context* KernelLattice::packed_context() const {
  const auto packed = context->packed();
  if (!packed) {
    python::raise_value_error(packed.error().message());
    return nullptr;
  }
  return (*packed)->get();
}

PyTypeObject* kernel_lattice_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&lattice_spec));
  return type;
}

PyObject* new_kernel_lattice(KernelLattice&& value) {
  PyTypeObject* type = kernel_lattice_type();
  if (type == nullptr) return nullptr;
  return python::wrap(type, std::move(value));
}

const KernelLattice* kernel_lattice_argument(const char* parameter, PyObject* object) {
  PyTypeObject* type = kernel_lattice_type();
  if (type == nullptr) return nullptr;
  if (!PyObject_TypeCheck(object, type)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be a tessara._lab.Lattice", parameter);
    return nullptr;
  }
  return &lattice_of(object);
}

std::span<PyMethodDef> lattice_functions() { return functions; }

}  // namespace tessara::lab
