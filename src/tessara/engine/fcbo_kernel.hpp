#pragma once

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::engine {

// The order in which the walk visits the children of one concept.
// kAscending gives the close-by-one pre-order (children by ascending
// generating attribute, each followed by its subtree); kDescending gives the
// lectic order of the intents (the child of the largest attribute first).
enum class ChildOrder { kAscending, kDescending };

// Every concept of the context exactly once, top concept first, by FCbO
// (Krajca, Outrata, Vychodil): all children of a concept are closed before
// the walk descends into any of them, and a closure that failed the
// canonicity test at a concept is remembered for its children, which skip
// that attribute without closing again while the failure still holds. The
// walk keeps an explicit stack of per-level buffers, so neither the depth of
// the tree nor the number of candidates touches the native stack or the
// allocator beyond the buffers' growth.
core::ConceptList fcbo_walk(const core::Context& context, ChildOrder order);

}  // namespace tessara::engine
