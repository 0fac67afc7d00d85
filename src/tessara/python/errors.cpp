#include "tessara/python/errors.hpp"

#include "tessara/python/py_ref.hpp"

namespace tessara::python {

PyObject* created(PyObject* object) {
  if (object == nullptr) throw ObjectCreationFailure();
  return object;
}

PyObject* internal_fault_class() {
  // Created on first use and kept for the life of the process, like the type objects.
  static PyObject* fault = nullptr;
  if (fault == nullptr) {
    fault = PyErr_NewExceptionWithDoc(
        "tessara.InternalFault",
        "A broken internal invariant of tessara. Ordinary input never leads here; please report it.",
        PyExc_BaseException, nullptr);
  }
  return fault;
}

void raise_internal_fault(const char* message) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef cause = PyRef::steal(value);
  Py_XDECREF(type);
  Py_XDECREF(traceback);

  PyObject* fault_class = internal_fault_class();
  if (fault_class == nullptr) return;  // creating the class failed; its error is set
  PyRef fault = PyRef::steal(PyObject_CallFunction(fault_class, "s", message));
  if (!fault) return;
  if (cause) PyException_SetCause(fault.get(), cause.release());
  PyErr_SetObject(fault_class, fault.get());
}

PyObject* raise_value_error(std::string_view message) {
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_ValueError, text.get());
  return nullptr;
}

PyObject* raise_conversion_error(const char* parameter, PyObject* object, const char* expected) {
  PyRef type_name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__name__"));
  if (!type_name) return nullptr;
  PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'", parameter, type_name.get(),
               expected);
  return nullptr;
}

}  // namespace tessara::python
