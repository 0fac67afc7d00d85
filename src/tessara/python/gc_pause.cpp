#include "tessara/python/gc_pause.hpp"

namespace tessara::python {

// Without the gc module (never the case in CPython) the pause does nothing;
// any error met while asking is cleared, since pausing is only an optimisation.
CyclicGcPause::CyclicGcPause() : gc_(PyRef::steal(PyImport_ImportModule("gc"))) {
  if (!gc_) {
    PyErr_Clear();
    return;
  }
  const PyRef enabled = PyRef::steal(PyObject_CallMethod(gc_.get(), "isenabled", nullptr));
  if (!enabled) {
    PyErr_Clear();
    return;
  }
  if (PyObject_IsTrue(enabled.get()) != 1) return;
  const PyRef disabled = PyRef::steal(PyObject_CallMethod(gc_.get(), "disable", nullptr));
  if (!disabled) {
    PyErr_Clear();
    return;
  }
  was_enabled_ = true;
}

CyclicGcPause::~CyclicGcPause() {
  if (!was_enabled_) return;
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  const PyRef enabled = PyRef::steal(PyObject_CallMethod(gc_.get(), "enable", nullptr));
  if (!enabled) PyErr_WriteUnraisable(gc_.get());
  PyErr_Restore(type, value, traceback);
}

}  // namespace tessara::python
