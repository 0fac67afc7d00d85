#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::layout {

// What a diagram is drawn from: the context (for the names and the rows), the
// concepts to draw and their cover edges, (lower, upper) pairs of indices into
// the concept list. The concepts may be a whole lattice or only part of one
// closed upward, such as an iceberg lattice: no bottom, and not every object
// concept, need be present.
struct DiagramSource {
  const core::Context& context;
  const core::ConceptList& concepts;
  std::span<const core::CoverEdge> edges;
};

// Index lists per concept, stored contiguously.
struct IndexLists {
  std::vector<std::size_t> start;  // one more than there are lists
  std::vector<std::uint32_t> items;

  std::size_t size() const noexcept { return start.empty() ? 0 : start.size() - 1; }
  std::span<const std::uint32_t> operator[](std::size_t i) const noexcept {
    return std::span<const std::uint32_t>(items).subspan(start[i], start[i + 1] - start[i]);
  }
};

// The facts of each concept that its labels show.
struct ConceptFacts {
  std::vector<std::uint64_t> support;      // objects in the extent
  std::vector<std::uint64_t> intent_size;  // attributes in the intent
  // The attributes whose attribute concept this is (the largest concept
  // with the attribute in its intent), and the objects whose object concept
  // it is (the concept whose intent is exactly the object's row): under
  // reduced labelling every name appears once, at its concept. An object or
  // attribute whose concept is not among those drawn appears nowhere.
  IndexLists own_attributes;
  IndexLists own_objects;
  std::size_t objects_without_concept = 0;
  // Whether some attribute of a drawn intent has its attribute concept
  // missing: then intents cannot be read off the labels above a concept.
  bool intents_incomplete = false;
};

ConceptFacts concept_facts(const DiagramSource& source);

// The same facts for concepts drawn apart from their lattice (a focus view),
// with the own attributes and objects taken from the drawn order instead:
// a concept owns the attributes of its intent that no drawn concept above
// it has, and the objects of its extent that no drawn concept below it has.
// Objects in no drawn extent are counted as without a concept.
ConceptFacts relative_concept_facts(const DiagramSource& source);

}  // namespace tessara::layout
