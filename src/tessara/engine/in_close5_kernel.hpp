#pragma once

#include <memory>

#include "tessara/engine/walk_task.hpp"

namespace tessara::engine {

// In-Close5 (Andrews): the close-by-one tree grown from the extents, with
// intents completed in place and failures inherited by the children. Lists
// the concepts in the same order as FCbO with ascending children. Candidates
// whose extent holds fewer than min_support objects are dropped at once and
// remembered as such for the children.
std::unique_ptr<TaskWalker> make_in_close5_walker(const WalkData& data, std::uint64_t min_support);

}  // namespace tessara::engine
