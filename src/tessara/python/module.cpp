#include <atomic>
#include <cstdint>

#include "tessara/python/context_type.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/functions.hpp"
#include "tessara/python/lattice_type.hpp"
#include "tessara/python/py_ref.hpp"
#include "tessara/python/python.hpp"

namespace tessara::python {
namespace {

// CMake passes its project version, so __version__ and the wheel never disagree.
constexpr const char* kVersion = TESSARA_VERSION;

// The interpreter that imported the module first; every other one is refused.
std::atomic<std::int64_t> recorded_interpreter{-1};
// The module object, built once and handed out again on every later import.
PyObject* module_object = nullptr;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "tessara",
    "",
    0,  // no per-module state; not -1, so a re-import calls PyInit_tessara again
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyMethodDef function_definitions[] = {
    {"parse_context", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(parse_context)),
     METH_VARARGS | METH_KEYWORDS, "parse_context(bytes, filename=...)\n--\n\nParses raw bytes into a `Context`."},
    {"supported_algorithms", supported_algorithms, METH_NOARGS,
     "supported_algorithms()\n--\n\nReturns the list of algorithm names accepted by `compute_concepts`."},
    {"compute_concepts", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compute_concepts)),
     METH_VARARGS | METH_KEYWORDS,
     "compute_concepts(ctx, algorithm=\"next-closure\")\n--\n\n"
     "Computes the concept lattice and returns concepts as a list of dicts.\n\n"
     "Each dict has keys `extent` (list of object names) and `intent`\n"
     "(list of attribute names). For notebook-friendly rendering, see\n"
     "`compute_lattice`."},
    {"compute_lattice", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compute_lattice)),
     METH_VARARGS | METH_KEYWORDS,
     "compute_lattice(ctx, algorithm=\"next-closure\")\n--\n\n"
     "Computes the concept lattice and returns a `Lattice` object.\n\n"
     "The returned object renders as SVG in Jupyter (via `_repr_svg_`).\n"
     "Use `.concepts()` to get the same dict-list as `compute_concepts`."},
    {"compute_implications", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compute_implications)),
     METH_VARARGS | METH_KEYWORDS,
     "compute_implications(ctx)\n--\n\nComputes the Duquenne-Guigues canonical implication base."},
    {nullptr, nullptr, 0, nullptr},
};

// Appends the name to __all__, then sets the attribute. Steals `value`.
bool add_attribute(PyObject* module, PyObject* all, const char* name, PyObject* value) {
  const PyRef owned = PyRef::steal(value);
  if (!owned) return false;
  const PyRef name_object = PyRef::steal(PyUnicode_FromString(name));
  if (!name_object || PyList_Append(all, name_object.get()) != 0) return false;
  return PyObject_SetAttr(module, name_object.get(), owned.get()) == 0;
}

PyObject* new_function(PyMethodDef* definition, PyObject* module, PyObject* module_name) {
  return PyCMethod_New(definition, module, module_name, nullptr);
}

// Creates the module and adds its eight attributes in their documented order.
PyObject* build_module() {
  PyRef module = PyRef::steal(PyModule_Create(&module_definition));
  if (!module) return nullptr;
  PyRef all = PyRef::steal(PyObject_GetAttrString(module.get(), "__all__"));
  if (!all) {
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module.get(), "__all__", all.get()) != 0) return nullptr;
  }
  const PyRef module_name = PyRef::steal(PyUnicode_FromString("tessara"));
  if (!module_name) return nullptr;

  // The internal-fault class is made up front so that no fault ever has to
  // create it while memory is short.
  if (internal_fault_class() == nullptr) return nullptr;
  auto* const context_class = reinterpret_cast<PyObject*>(context_type());
  auto* const lattice_class = reinterpret_cast<PyObject*>(lattice_type());
  if (context_class == nullptr || lattice_class == nullptr) return nullptr;
  Py_INCREF(context_class);
  Py_INCREF(lattice_class);
  if (!add_attribute(module.get(), all.get(), "Context", context_class)) return nullptr;
  if (!add_attribute(module.get(), all.get(), "Lattice", lattice_class)) return nullptr;
  for (PyMethodDef* definition = function_definitions; definition->ml_name != nullptr; ++definition) {
    PyObject* function = new_function(definition, module.get(), module_name.get());
    if (!add_attribute(module.get(), all.get(), definition->ml_name, function)) return nullptr;
  }
  if (!add_attribute(module.get(), all.get(), "__version__", PyUnicode_FromString(kVersion))) return nullptr;
  return module.release();
}

PyObject* initialise() {
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (interpreter < 0) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "cannot read the interpreter identifier");
    return nullptr;
  }
  std::int64_t expected = -1;
  if (!recorded_interpreter.compare_exchange_strong(expected, interpreter) && expected != interpreter) {
    PyErr_SetString(PyExc_ImportError, "tessara does not support subinterpreters; import it in the main interpreter");
    return nullptr;
  }
  if (module_object == nullptr) module_object = build_module();
  if (module_object == nullptr) return nullptr;
  Py_INCREF(module_object);
  return module_object;
}

}  // namespace
}  // namespace tessara::python

PyMODINIT_FUNC PyInit_tessara(void) { return tessara::python::initialise(); }
