#include "tessara/engine/fcbo.hpp"

#include "tessara/engine/fcbo_kernel.hpp"
#include "tessara/engine/generation_event.hpp"

namespace tessara::engine {

core::ConceptLattice Fcbo::compute(const core::Context& context) const {
  core::ConceptLattice lattice{fcbo_walk(context, ChildOrder::kAscending), std::nullopt};
  emit_generation_complete("tessara_engine::fcbo", name(), lattice, context);
  return lattice;
}

}  // namespace tessara::engine
