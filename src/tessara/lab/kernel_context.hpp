#pragma once

#include <memory>
#include <span>

#include "tessara/core/context.hpp"
#include "tessara/python/python.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::lab {

// What a _lab.Context owns: an immutable core context, shared with every
// lattice computed from it, so a lattice never copies the incidence.
struct KernelContext {
  std::shared_ptr<const core::Context> context;
};

using KernelContextObject = python::Wrapped<KernelContext>;

// _lab.Context, built on first use and kept for the life of the process.
PyTypeObject* kernel_context_type();

// A new _lab.Context owning `context`; nullptr with an exception set.
PyObject* new_kernel_context(std::shared_ptr<const core::Context> context);

// The context of a _lab.Context argument, or nullptr with TypeError set. The
// caller keeps the argument alive for as long as it uses the result.
const std::shared_ptr<const core::Context>* kernel_context_argument(const char* parameter, PyObject* object);

// The module functions that make contexts: make_context and read_context.
std::span<PyMethodDef> context_functions();

}  // namespace tessara::lab
