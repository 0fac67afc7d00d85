#include <span>
#include <vector>

#include "tessara/lab/draw_kernels.hpp"
#include "tessara/lab/implication_kernels.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/lab/kernel_context_ops.hpp"
#include "tessara/lab/kernel_formats.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/lab/kernel_lookup.hpp"
#include "tessara/lab/kernel_structure.hpp"
#include "tessara/lab/kernel_tables.hpp"
#include "tessara/lab/rules_kernels.hpp"
#include "tessara/lab/runs.hpp"
#include "tessara/lab/unit_kernels.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/py_ref.hpp"
#include "tessara/python/python.hpp"

namespace tessara::lab {
namespace {

// The functions of every kernel area, gathered once into one table that lives
// as long as the module.
std::vector<PyMethodDef>& function_table() {
  static std::vector<PyMethodDef> table = [] {
    std::vector<PyMethodDef> all;
    for (const std::span<PyMethodDef> area : {context_functions(), lattice_functions(), context_ops_functions(),
                                              lookup_functions(), table_functions(), format_functions(),
                                              draw_functions(), run_functions(), rules_functions(),
                                              unit_functions(), structure_functions(), implication_functions()})
      all.insert(all.end(), area.begin(), area.end());
    all.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
    return all;
  }();
  return table;
}

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "tessara._lab",
    "The kernels under tessara.lab: contexts and lattices held in C++, arrays as bytes. Private.",
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* build_module() {
  module_definition.m_methods = function_table().data();
  python::PyRef module = python::PyRef::steal(PyModule_Create(&module_definition));
  if (!module) return nullptr;
  if (python::internal_fault_class() == nullptr) return nullptr;
  for (PyTypeObject* type :
       {kernel_context_type(), kernel_lattice_type(), kernel_diagram_type(), unit_walk_type()}) {
    if (type == nullptr) return nullptr;
    Py_INCREF(type);
    const python::PyRef name = python::PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
    if (!name || PyObject_SetAttr(module.get(), name.get(), reinterpret_cast<PyObject*>(type)) != 0) {
      Py_DECREF(type);
      return nullptr;
    }
    Py_DECREF(type);
  }
  return module.release();
}

}  // namespace
}  // namespace tessara::lab

PyMODINIT_FUNC PyInit__lab(void) { return tessara::lab::build_module(); }
