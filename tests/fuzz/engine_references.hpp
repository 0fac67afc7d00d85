#pragma once

// The straightforward procedures the engine fuzzer checks the fast kernels
// against, one function each, so pointing the fuzzer at another reference is a
// change of one line here.

#include <utility>
#include <vector>

#include "../cpp/fca_oracle.hpp"
#include "tessara/core/concept.hpp"
#include "tessara/core/covering.hpp"

namespace tessara::fuzzing::reference {

using testing::Mask;

// Every concept as (extent mask, intent mask), in any order.
inline std::vector<std::pair<Mask, Mask>> concepts(const testing::Oracle& oracle) { return oracle.concepts(); }

// Every pseudo-intent, in any order.
inline std::vector<Mask> pseudo_intents(const testing::Oracle& oracle) { return oracle.pseudo_intents(); }

// The Hasse edges sorted by (lower, upper).
inline std::vector<core::CoverEdge> covering(const core::ConceptList& concepts) {
  return core::direct_covering_scan(concepts);
}

}  // namespace tessara::fuzzing::reference
