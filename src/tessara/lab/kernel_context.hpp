#pragma once

#include <memory>
#include <span>

#include "tessara/core/context.hpp"
#include "tessara/core/sparse_incidence.hpp"
#include "tessara/core/stored_context.hpp"
#include "tessara/python/python.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::lab {

// What a _lab.Context owns: an immutable context stored packed or sparse
// (core::StoredContext chooses by density and size when it is made). Lattices
// computed from it share its packed form, so a lattice never copies the
// incidence.
struct KernelContext {
  std::shared_ptr<const core::StoredContext> stored;
};

using KernelContextObject = python::Wrapped<KernelContext>;

// _lab.Context, built on first use and kept for the life of the process.
PyTypeObject* kernel_context_type();

// A new _lab.Context holding `context` packed, as it is; nullptr with an
// exception set.
PyObject* new_kernel_context(std::shared_ptr<const core::Context> context);
// A new _lab.Context holding `stored`; nullptr with an exception set.
PyObject* new_kernel_context(std::shared_ptr<const core::StoredContext> stored);

// The _lab.Context of an argument, or nullptr with TypeError set. The caller
// keeps the argument alive for as long as it uses the result.
const KernelContext* kernel_context_of(const char* parameter, PyObject* object);

// Whether the context is stored sparse (the kernels that walk index lists
// should be preferred on it).
bool is_sparse(const KernelContext& context) noexcept;

// The sparse form of a context: the stored one, or for a packed context built
// on first use and kept (thread-safe). Lives as long as the context; share
// context.stored->sparse() to keep it beyond.
const core::SparseIncidence& sparse_incidence(const KernelContext& context);

// The packed context of a _lab.Context argument, or nullptr with TypeError
// set (not a _lab.Context) or ValueError set (a sparse context whose dense
// form would be too large; the message says how large). Built on first use and
// kept for sparse contexts. The caller keeps the argument alive for as long as
// it uses the result.
const std::shared_ptr<const core::Context>* kernel_context_argument(const char* parameter, PyObject* object);

// The module functions that make contexts: make_context, make_sparse_context
// and read_context.
std::span<PyMethodDef> context_functions();

}  // namespace tessara::lab
