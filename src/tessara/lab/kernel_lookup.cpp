#include "tessara/lab/kernel_lookup.hpp"

#include <optional>

#include "tessara/core/fault.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/python/errors.hpp"

namespace tessara::lab {

const core::LatticeLookup* KernelLattice::lookup() const {
  const core::Context* packed = packed_context();
  if (packed == nullptr) return nullptr;
  const std::lock_guard lock(lookup_cache->mutex);
  if (!lookup_cache->lookup)
    lookup_cache->lookup = std::make_unique<const core::LatticeLookup>(*packed, lattice.concepts);
  // A lattice moved after its look-ups were made would leave them pointing at the old place.
  if (&lookup_cache->lookup->concepts() != &lattice.concepts)
    throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  return lookup_cache->lookup.get();
}

namespace {

using python::guarded;

// An index below `limit`; nothing with IndexError set.
std::optional<std::uint32_t> checked_index(const char* what, Py_ssize_t index, std::uint64_t limit) {
  if (index < 0 || static_cast<std::uint64_t>(index) >= limit) {
    PyErr_Format(PyExc_IndexError, "%s index %zd out of range for %llu", what, index,
                 static_cast<unsigned long long>(limit));
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(index);
}

// The found concept's index as an int. Nothing found means the lattice lacks
// a concept of its context: an iceberg lattice without that infrequent
// concept, or a lattice loaded from an incomplete document.
PyObject* found(std::optional<std::uint32_t> index) {
  if (!index)
    return python::raise_value_error(
        "the lattice lacks that concept of its context: an iceberg lattice (min_support) where it is not frequent, "
        "or an incomplete one");
  return PyLong_FromUnsignedLong(*index);
}

template <typename Ask>
PyObject* pair_question(PyObject* args, const char* format, Ask&& ask) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    Py_ssize_t a = 0;
    Py_ssize_t b = 0;
    if (!PyArg_ParseTuple(args, format, &lattice_object, &a, &b)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const std::uint64_t n = lattice->concepts().size();
    const auto first = checked_index("concept", a, n);
    if (!first) return nullptr;
    const auto second = checked_index("concept", b, n);
    if (!second) return nullptr;
    const core::LatticeLookup* lookup = lattice->lookup();
    if (lookup == nullptr) return nullptr;
    return found(ask(*lookup, *first, *second));
  });
}

PyObject* join(PyObject*, PyObject* args) {
  return pair_question(args, "Onn:join", [](const core::LatticeLookup& lookup, std::uint32_t a, std::uint32_t b) {
    return lookup.join(a, b);
  });
}

PyObject* meet(PyObject*, PyObject* args) {
  return pair_question(args, "Onn:meet", [](const core::LatticeLookup& lookup, std::uint32_t a, std::uint32_t b) {
    return lookup.meet(a, b);
  });
}

// object_concept(lattice, g) and attribute_concept(lattice, m).
template <typename Ask>
PyObject* element_question(PyObject* args, const char* format, bool objects, Ask&& ask) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    Py_ssize_t element = 0;
    if (!PyArg_ParseTuple(args, format, &lattice_object, &element)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const auto index = objects ? checked_index("object", element, lattice->context->n_objects())
                               : checked_index("attribute", element, lattice->context->n_attributes());
    if (!index) return nullptr;
    const core::LatticeLookup* lookup = lattice->lookup();
    if (lookup == nullptr) return nullptr;
    return found(ask(*lookup, *index));
  });
}

PyObject* object_concept(PyObject*, PyObject* args) {
  return element_question(args, "On:object_concept", true,
                          [](const core::LatticeLookup& lookup, std::uint32_t g) { return lookup.object_concept(g); });
}

PyObject* attribute_concept(PyObject*, PyObject* args) {
  return element_question(args, "On:attribute_concept", false, [](const core::LatticeLookup& lookup, std::uint32_t m) {
    return lookup.attribute_concept(m);
  });
}

// find_intent(lattice, attributes) -> the index of the concept with exactly
// that intent, or None.
PyObject* find_intent(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    PyObject* attributes_object = nullptr;
    if (!PyArg_ParseTuple(args, "OO:find_intent", &lattice_object, &attributes_object)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const std::uint64_t n_attributes = lattice->context->n_attributes();
    const auto attributes = index_array_argument("attributes", attributes_object, n_attributes);
    if (!attributes) return nullptr;
    core::AttributeSet intent = core::AttributeSet::empty(n_attributes);
    for (const std::uint32_t m : *attributes) intent.insert(m);
    const core::LatticeLookup* lookup = lattice->lookup();
    if (lookup == nullptr) return nullptr;
    const auto index = lookup->find(intent);
    if (!index) Py_RETURN_NONE;
    return PyLong_FromUnsignedLong(*index);
  });
}

PyMethodDef functions[] = {
    {"join", join, METH_VARARGS, "join(lattice, a, b) -> the index of the least concept above both"},
    {"meet", meet, METH_VARARGS, "meet(lattice, a, b) -> the index of the greatest concept below both"},
    {"object_concept", object_concept, METH_VARARGS, "object_concept(lattice, g) -> the index of the concept of g"},
    {"attribute_concept", attribute_concept, METH_VARARGS,
     "attribute_concept(lattice, m) -> the index of the concept of m"},
    {"find_intent", find_intent, METH_VARARGS, "find_intent(lattice, attributes: bytes of uint32) -> index or None"},
};

}  // namespace

std::span<PyMethodDef> lookup_functions() { return functions; }

}  // namespace tessara::lab
