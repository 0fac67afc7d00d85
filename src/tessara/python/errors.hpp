#pragma once

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "tessara/core/fault.hpp"
#include "tessara/python/python.hpp"

namespace tessara::python {

// The interpreter failed to create an object while a result was being built;
// its own exception is pending and becomes the cause of the internal fault.
class ObjectCreationFailure : public core::InternalFault {
 public:
  ObjectCreationFailure() : core::InternalFault("the interpreter could not create an object for the result") {}
};

// Returns the new reference, or throws ObjectCreationFailure when it is null.
PyObject* created(PyObject* object);

// The class of internal faults: derives directly from BaseException, so
// `except Exception` does not swallow a broken invariant. Built once per process.
PyObject* internal_fault_class();

// Sets the internal-fault exception, chaining any pending exception as its cause.
void raise_internal_fault(const char* message);

// TypeError for an argument of the wrong type, naming the parameter, the
// object's type and the expected type. Always returns nullptr.
PyObject* raise_conversion_error(const char* parameter, PyObject* object, const char* expected);

// ValueError with the given UTF-8 message (NUL bytes and all). Returns nullptr.
PyObject* raise_value_error(std::string_view message);

// Runs the body of a Python-facing operation and turns every C++ exception into
// a Python one: broken invariants into the internal fault, bad_alloc into
// MemoryError. No C++ exception ever reaches the interpreter.
template <typename Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    raise_internal_fault(error.what());
  } catch (...) {
    raise_internal_fault("unexpected C++ exception");
  }
  return nullptr;
}

}  // namespace tessara::python
