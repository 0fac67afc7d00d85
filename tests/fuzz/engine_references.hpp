#pragma once

// The procedures the engine fuzzer checks the fast kernels against, one
// function each: brute force from the definitions for small contexts, and the
// straightforward implementations kept under tests/cpp/reference for any size.

#include <utility>
#include <vector>

#include "../cpp/fca_oracle.hpp"
#include "reference/canonical_base.hpp"
#include "reference/close_by_one.hpp"
#include "reference/direct_covering_scan.hpp"
#include "reference/next_closure.hpp"
#include "tessara/core/concept.hpp"

namespace tessara::fuzzing::reference {

using testing::Mask;

// Every concept as (extent mask, intent mask), in any order.
inline std::vector<std::pair<Mask, Mask>> concepts(const testing::Oracle& oracle) { return oracle.concepts(); }

// Every pseudo-intent, in any order.
inline std::vector<Mask> pseudo_intents(const testing::Oracle& oracle) { return oracle.pseudo_intents(); }

// The concepts in lectic order of their intents, as "next-closure" lists them.
inline core::ConceptList lectic_concepts(const core::Context& context) {
  return tessara::reference::next_closure(context).concepts;
}

// The close-by-one pre-order that "fcbo" and "in-close-5" both list.
inline core::ConceptList close_by_one_concepts(const core::Context& context) {
  return tessara::reference::close_by_one(context).concepts;
}

// The canonical base in lectic order of the premises.
inline std::vector<core::Implication> canonical_base(const core::Context& context) {
  return tessara::reference::canonical_base(context);
}

// The Hasse edges sorted by (lower, upper).
inline std::vector<core::CoverEdge> covering(const core::ConceptList& concepts) {
  return tessara::reference::direct_covering_scan(concepts);
}

}  // namespace tessara::fuzzing::reference
