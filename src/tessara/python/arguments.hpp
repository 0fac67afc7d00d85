#pragma once

#include <optional>
#include <string>

#include "tessara/python/access.hpp"
#include "tessara/python/python.hpp"

namespace tessara::python {

// A `str` argument as UTF-8 text; nothing with TypeError (naming the parameter)
// or the interpreter's UnicodeEncodeError set.
std::optional<std::string> text_argument(const char* parameter, PyObject* object);

// A `bytes` argument (subclasses included) copied into a buffer owned by the
// caller; nothing with TypeError set.
std::optional<std::string> bytes_argument(const char* parameter, PyObject* object);

// The `ctx` argument: a Context instance, held with shared access and a strong
// reference until the returned guard goes; nothing with an exception set.
std::optional<SharedAccess> context_argument(PyObject* object);

}  // namespace tessara::python
