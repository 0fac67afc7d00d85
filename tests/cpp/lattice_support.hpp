#pragma once

#include <cstdint>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::testing {

// A lattice whose concept i has extents[i] over `objects` objects. The covering
// relation and the layout read extents only, so intents stay empty.
inline core::ConceptLattice lattice_from_extents(std::uint32_t objects,
                                                 const std::vector<std::vector<std::uint32_t>>& extents) {
  core::ConceptLattice lattice;
  for (const auto& members : extents) {
    core::ObjectSet extent = core::ObjectSet::empty(objects);
    for (const std::uint32_t g : members) extent.insert(g);
    lattice.concepts.push_back(core::Concept{extent, core::AttributeSet::empty(0)});
  }
  return lattice;
}

}  // namespace tessara::testing
