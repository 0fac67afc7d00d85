#pragma once

#include "tessara/core/context.hpp"
#include "tessara/python/python.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::python {

using ContextObject = Wrapped<core::Context>;

// tessara.Context, built on first use and kept for the life of the process.
PyTypeObject* context_type();

// A new Context instance owning `context`, or nullptr with an exception set.
PyObject* new_context_object(core::Context&& context);

}  // namespace tessara::python
