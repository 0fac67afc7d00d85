#include "tessara/python/lattice_type.hpp"

#include <string>

#include "tessara/layout/svg.hpp"
#include "tessara/python/conversions.hpp"

namespace tessara::python {
namespace {

constexpr const char* kTypeName = "Lattice";

PyObject* get_n_concepts(PyObject* self, void*) {
  return guarded([&]() -> PyObject* {
    const auto access = share<LatticeValue>(self, kTypeName);
    if (!access) return nullptr;
    return PyLong_FromSize_t(unwrap<LatticeValue>(self).value.lattice.concepts.size());
  });
}

PyObject* lattice_concepts(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const auto access = share<LatticeValue>(self, kTypeName);
    if (!access) return nullptr;
    const LatticeValue& value = unwrap<LatticeValue>(self).value;
    return concept_list(value.context, value.lattice.concepts);
  });
}

// Drawing takes exclusive access: the first drawing fills the cover cache.
template <std::string (*Render)(core::ConceptLattice&)>
PyObject* draw(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    LatticeObject& instance = unwrap<LatticeValue>(self);
    if (!instance.access.try_acquire_exclusive()) {
      PyErr_SetString(PyExc_RuntimeError, "this Lattice is in use and cannot be drawn now");
      return nullptr;
    }
    const ExclusiveAccess access(self, instance.access);
    const std::string text = Render(instance.value.lattice);
    return new_str(text);
  });
}

PyObject* lattice_repr(PyObject* self) {
  return guarded([&]() -> PyObject* {
    const auto access = share<LatticeValue>(self, kTypeName);
    if (!access) return nullptr;
    const std::string text =
        "Lattice(concepts=" + std::to_string(unwrap<LatticeValue>(self).value.lattice.concepts.size()) + ")";
    return new_str(text);
  });
}

PyGetSetDef lattice_properties[] = {
    {"n_concepts", get_n_concepts, nullptr, "Number of concepts in the lattice.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Registered after the property, in this order, so the class lists its members
// as n_concepts, concepts, _repr_svg_, _repr_html_, svg.
PyMethodDef lattice_methods[] = {
    {"concepts", lattice_concepts, METH_NOARGS,
     "concepts($self)\n--\n\nReturns the lattice's concepts as a list of dicts."},
    {"_repr_svg_", draw<layout::render_lattice_svg>, METH_NOARGS,
     "_repr_svg_($self)\n--\n\nJupyter SVG renderer. Called automatically when this object is\n"
     "the last expression in a notebook cell."},
    {"_repr_html_", draw<layout::render_lattice_html>, METH_NOARGS,
     "_repr_html_($self)\n--\n\nJupyter HTML renderer. SVG inside a captioned div."},
    {"svg", draw<layout::render_lattice_svg>, METH_NOARGS,
     "svg($self)\n--\n\nRenders the lattice as SVG and returns the string.\n\n"
     "Equivalent to `_repr_svg_` but callable explicitly. Useful for\n"
     "scripts that want to save the SVG to disk."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot lattice_slots[] = {
    {Py_tp_doc, const_cast<char*>("Wraps a `Lattice` so Python can render it.\n\n"
                                  "Carries the originating context alongside the lattice so attribute\n"
                                  "and object names can be projected into the rendered output and dict\n"
                                  "views.")},
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_wrapped<LatticeValue>)},
    {Py_tp_repr, reinterpret_cast<void*>(lattice_repr)},
    {Py_tp_getset, lattice_properties},
    {0, nullptr},
};

PyType_Spec lattice_spec = {
    "tessara.Lattice",  static_cast<int>(sizeof(LatticeObject)), 0,
    Py_TPFLAGS_DEFAULT,  // no BASETYPE: the class cannot be subclassed
    lattice_slots,
};

PyTypeObject* build_lattice_type() {
  PyRef type = PyRef::steal(PyType_FromSpec(&lattice_spec));
  if (!type) return nullptr;
  for (PyMethodDef* method = lattice_methods; method->ml_name != nullptr; ++method) {
    PyRef descriptor = PyRef::steal(PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type.get()), method));
    if (!descriptor || PyObject_SetAttrString(type.get(), method->ml_name, descriptor.get()) != 0) return nullptr;
  }
  return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace

PyTypeObject* lattice_type() {
  // Built once, the first time it is needed, and kept for the life of the process.
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = build_lattice_type();
  return type;
}

PyObject* new_lattice_object(LatticeValue&& value) {
  PyTypeObject* type = lattice_type();
  if (type == nullptr) return nullptr;
  return wrap(type, std::move(value));
}

}  // namespace tessara::python
