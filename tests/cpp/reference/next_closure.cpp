#include "reference/next_closure.hpp"

#include <optional>

#include "tessara/engine/lectic.hpp"

namespace tessara::reference {
namespace {

core::AttributeSet closure(const core::Context& context, const core::AttributeSet& attributes) {
  return context.intent_of(context.extent_of(attributes));
}

// The lectically next intent after `current`, or nothing when `current` holds
// every attribute. Positions are tried from the least significant one up.
std::optional<core::AttributeSet> next_intent(const core::Context& context, const core::AttributeSet& current) {
  for (std::uint64_t i = context.n_attributes(); i-- > 0;) {
    if (current.contains(i)) continue;
    core::AttributeSet candidate =
        closure(context, engine::lectic::prefix_with(current, static_cast<std::uint32_t>(i)));
    if (!engine::lectic::gains_member_below(candidate, current, i)) return candidate;
  }
  return std::nullopt;
}

}  // namespace

core::ConceptLattice next_closure(const core::Context& context) {
  core::ConceptLattice lattice;
  lattice.concepts = core::ConceptList(context.n_objects(), context.n_attributes());
  core::AttributeSet intent = closure(context, core::AttributeSet::empty(context.n_attributes()));
  lattice.concepts.push_back(core::Concept{context.extent_of(intent), intent});
  while (auto next = next_intent(context, intent)) {
    intent = std::move(*next);
    // The stored extent is derived afresh from the accepted intent.
    lattice.concepts.push_back(core::Concept{context.extent_of(intent), intent});
  }
  return lattice;
}

}  // namespace tessara::reference
