#pragma once

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/python/python.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::python {

// What a Lattice instance owns: the computed concepts (with the cover cache
// filled by the first drawing) and its own copy of the context, so names stay
// available after the Context object is gone.
struct LatticeValue {
  core::ConceptLattice lattice;
  core::Context context;
};

using LatticeObject = Wrapped<LatticeValue>;

// tessara.Lattice, built on first use and kept for the life of the process.
PyTypeObject* lattice_type();

PyObject* new_lattice_object(LatticeValue&& value);

}  // namespace tessara::python
