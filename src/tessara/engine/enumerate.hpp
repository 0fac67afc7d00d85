#pragma once

#include <expected>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/walk_task.hpp"

namespace tessara::engine {

// The concepts the walk of `kind` lists, within the control's limits (the
// frequent ones only, at most max_concepts), in the walk's order. With
// threads <= 1 the walk runs on the calling thread, which runs the pulse at
// its checkpoints; otherwise on that many workers while the calling thread
// waits and pulses. The order is the same either way. A stopped run gives
// back everything it held and says why it stopped.
std::expected<core::ConceptList, RunStop> enumerate_concepts(const core::Context& context, WalkKind kind,
                                                             RunControl& control, unsigned threads);

// The same for the LCM walk, straight from a sparse incidence.
std::expected<core::ConceptList, RunStop> enumerate_lcm_concepts(const core::SparseIncidence& incidence,
                                                                 RunControl& control, unsigned threads);

}  // namespace tessara::engine
