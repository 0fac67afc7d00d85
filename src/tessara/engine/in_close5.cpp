#include "tessara/engine/in_close5.hpp"

#include "tessara/engine/close_by_one.hpp"
#include "tessara/engine/generation_event.hpp"

namespace tessara::engine {

core::ConceptLattice InClose5::compute(const core::Context& context) const {
  core::ConceptLattice lattice = close_by_one(context);
  emit_generation_complete("tessara_engine::in_close5", name(), lattice, context);
  return lattice;
}

}  // namespace tessara::engine
