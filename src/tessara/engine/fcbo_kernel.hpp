#pragma once

#include <memory>

#include "tessara/engine/walk_task.hpp"

namespace tessara::engine {

// The order in which the walk visits the children of one concept.
// kAscending gives the close-by-one pre-order (children by ascending
// generating attribute, each followed by its subtree); kDescending gives the
// lectic order of the intents (the child of the largest attribute first).
enum class ChildOrder { kAscending, kDescending };

// FCbO (Krajca, Outrata, Vychodil): all children of a concept are closed
// before the walk descends into any of them, and a closure that failed the
// canonicity test at a concept is remembered for its children, which skip
// that attribute without closing again while the failure still holds. The
// walk keeps an explicit stack of per-level buffers, so neither the depth of
// the tree nor the number of candidates touches the native stack or the
// allocator beyond the buffers' growth. Candidates whose extent holds fewer
// than min_support objects are dropped before their closure, and remembered
// as such for the children.
std::unique_ptr<TaskWalker> make_fcbo_walker(const WalkData& data, ChildOrder order, std::uint64_t min_support);

}  // namespace tessara::engine
