#include "tessara/python/arguments.hpp"

#include "tessara/python/context_type.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::python {

std::optional<std::string> text_argument(const char* parameter, PyObject* object) {
  if (!PyUnicode_Check(object)) {
    raise_conversion_error(parameter, object, "str");
    return std::nullopt;
  }
  const PyRef encoded = PyRef::steal(PyUnicode_AsUTF8String(object));
  if (!encoded) return std::nullopt;  // UnicodeEncodeError passes through unchanged
  return std::string(PyBytes_AsString(encoded.get()), static_cast<std::size_t>(PyBytes_Size(encoded.get())));
}

std::optional<std::string> bytes_argument(const char* parameter, PyObject* object) {
  if (!PyBytes_Check(object)) {
    raise_conversion_error(parameter, object, "bytes");
    return std::nullopt;
  }
  // The reported size counts every byte; zero bytes inside are data.
  return std::string(PyBytes_AsString(object), static_cast<std::size_t>(PyBytes_Size(object)));
}

std::optional<SharedAccess> context_argument(PyObject* object) {
  PyTypeObject* type = context_type();
  if (type == nullptr) return std::nullopt;
  if (!PyObject_TypeCheck(object, type)) {
    raise_conversion_error("ctx", object, "Context");
    return std::nullopt;
  }
  return share<core::Context>(object, "Context");
}

}  // namespace tessara::python
