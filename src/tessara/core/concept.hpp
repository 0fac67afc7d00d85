#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tessara/core/sets.hpp"

namespace tessara::core {

// One formal concept: intent = intent_of(extent) and extent = extent_of(intent).
struct Concept {
  ObjectSet extent;
  AttributeSet intent;
};

// One Hasse-diagram edge between positions of ConceptLattice::concepts.
struct CoverEdge {
  std::uint32_t lower;  // the covered concept (smaller extent)
  std::uint32_t upper;  // the covering concept (larger extent)

  friend bool operator==(const CoverEdge&, const CoverEdge&) = default;
};

// Every concept of a context exactly once, in the order the producing algorithm
// found them (never re-sorted). cover_cache is filled at most once, by the
// covering relation, the first time the lattice is drawn.
struct ConceptLattice {
  std::vector<Concept> concepts;
  std::optional<std::vector<CoverEdge>> cover_cache;
};

// premise -> conclusion of the canonical base. The conclusion is the whole
// closure of the premise; support counts the objects holding the premise.
struct Implication {
  AttributeSet premise;
  AttributeSet conclusion;
  std::uint64_t support;
  double confidence;
};

}  // namespace tessara::core
