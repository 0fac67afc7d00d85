#pragma once

#include "tessara/python/python.hpp"

namespace tessara::python {

// The module-level functions, registered on the module in this order.
PyObject* parse_context(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* supported_algorithms(PyObject* module, PyObject* unused);
PyObject* compute_concepts(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* compute_lattice(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* compute_implications(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace tessara::python
