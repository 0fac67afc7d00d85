#pragma once

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::reference {

// The straightforward NextClosure that the fast lectic walk is checked
// against: the intents in increasing lectic order, one full closure
// (extent_of then intent_of over the rows) per candidate.
core::ConceptLattice next_closure(const core::Context& context);

}  // namespace tessara::reference
