#pragma once

#include <cstdint>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::reference {

// The straightforward depth-first close-by-one walk that the fast FCbO and
// In-Close5 kernels are checked against: every attribute extent rebuilt from
// the rows, one intent_of pass per candidate. Appends to
// `output`, in pre-order, every concept generated below the concept (extent,
// intent) by adding attributes start, start + 1, ..., n - 1: each accepted
// child is followed at once by its whole subtree, and the children of one
// concept come in ascending order of the attribute that produced them.
// Works with an explicit stack, so the depth of the tree never touches the
// thread's native stack.
void descend(const core::Context& context, const core::ObjectSet& extent, const core::AttributeSet& intent,
             std::uint64_t start, std::uint64_t n, core::ConceptList& output);

// The top concept followed by everything descend finds below it.
core::ConceptLattice close_by_one(const core::Context& context);

}  // namespace tessara::reference
