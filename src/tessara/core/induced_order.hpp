#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {

// A cover of the order induced on chosen concepts, in positions of the
// choice: `upper` covers `lower` among the chosen concepts. `skips` says the
// two are not neighbours in the whole lattice: concepts that were not chosen
// lie between them.
struct InducedCover {
  std::uint32_t lower;
  std::uint32_t upper;
  bool skips;
};

// The covering relation of the order the lattice induces on `chosen`
// (indices into `concepts`, distinct): a lies below b when b's intent is a
// proper subset of a's. `edges` are the lattice's own cover edges, which tell
// whether a cover of the restricted order skips concepts. Covers come ordered
// by upper, then lower position. Quadratic in the number chosen (word-parallel
// transitive reduction), meant for the tens to few thousands of concepts a
// picture can show. An index out of range is an internal fault (callers
// check it first).
std::vector<InducedCover> induced_covers(const ConceptList& concepts, std::span<const CoverEdge> edges,
                                         std::span<const std::uint32_t> chosen);

}  // namespace tessara::core
