#include "tessara/python/wrapped.hpp"

namespace tessara::python {

PyObject* refuse_construction(PyTypeObject* type, PyObject*, PyObject*) {
  PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
  if (!name) return nullptr;
  PyErr_Format(PyExc_TypeError, "cannot create 'tessara.%U' instances: no constructor defined for %U", name.get(),
               name.get());
  return nullptr;
}

}  // namespace tessara::python
