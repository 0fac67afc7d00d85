#include "tessara/engine/next_closure.hpp"

#include "tessara/engine/fcbo_kernel.hpp"
#include "tessara/engine/generation_event.hpp"

namespace tessara::engine {

// The lectic order of the intents is the pre-order of the close-by-one tree
// when every concept's children are visited from the largest generating
// attribute down: a child's intent agrees with its parent's below the
// generating attribute and adds it, so the subtree of a larger attribute holds
// exactly the intents that come lectically before those of a smaller one.
core::ConceptLattice NextClosure::compute(const core::Context& context) const {
  core::ConceptLattice lattice{fcbo_walk(context, ChildOrder::kDescending), std::nullopt};
  emit_generation_complete("tessara_engine::next_closure", name(), lattice, context);
  return lattice;
}

}  // namespace tessara::engine
