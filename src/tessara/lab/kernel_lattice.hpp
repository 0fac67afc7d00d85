#pragma once

#include <memory>
#include <mutex>
#include <span>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/lattice_lookup.hpp"
#include "tessara/core/sparse_incidence.hpp"
#include "tessara/core/stored_context.hpp"
#include "tessara/python/python.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::lab {

// The look-ups of one lattice (join, meet, object and attribute concepts),
// made on the first look-up. (A mutex rather than std::call_once, whose
// pthread_once would tie the module to glibc 2.34.)
struct LookupCache {
  std::mutex mutex;
  std::unique_ptr<const core::LatticeLookup> lookup;
};

// What a _lab.Lattice owns: the context it was computed from (shared, never
// copied, in the form it is stored in), the concepts in the algorithm's order
// and their cover edges, sorted by (lower, upper). Complete when built and
// never changed afterwards, so any number of threads may read it without the
// interpreter lock.
struct KernelLattice {
  std::shared_ptr<const core::StoredContext> context;
  core::ConceptLattice lattice;

  // The packed form of the context, for the kernels that read bit rows (a
  // drawing, a saved document): built on first use for a context stored
  // sparse. Null with ValueError set when it would pass the size limit. Call
  // with the interpreter lock held.
  const core::Context* packed_context() const;

  const core::ConceptList& concepts() const noexcept { return lattice.concepts; }
  const std::vector<core::CoverEdge>& edges() const { return *lattice.cover_cache; }

  // The look-ups, made on first use (thread-safe). They refer to `lattice`
  // where it lies, so they are made only once the value sits in its Python
  // object, whose address never changes. They read the packed context: null
  // with ValueError set when it would pass the size limit. Call with the
  // interpreter lock held.
  const core::LatticeLookup* lookup() const;

  std::unique_ptr<LookupCache> lookup_cache = std::make_unique<LookupCache>();
  // The index lists of the context, for a lattice mined from a context stored
  // sparse (null otherwise): kernels that would otherwise build column forms
  // of the packed context read these instead.
  std::shared_ptr<const core::SparseIncidence> sparse = nullptr;
};

using KernelLatticeObject = python::Wrapped<KernelLattice>;

PyTypeObject* kernel_lattice_type();

// A new _lab.Lattice; its cover edges must already be in lattice.cover_cache.
PyObject* new_kernel_lattice(KernelLattice&& value);

// The lattice of a _lab.Lattice argument, or nullptr with TypeError set. The
// caller keeps the argument alive for as long as it uses the result.
const KernelLattice* kernel_lattice_argument(const char* parameter, PyObject* object);

// The module functions that make lattices: compute_lattice.
std::span<PyMethodDef> lattice_functions();

}  // namespace tessara::lab
