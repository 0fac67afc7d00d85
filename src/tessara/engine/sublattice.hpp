#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/lattice_lookup.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// Parts of a lattice of concepts that are lattices again, each as the
// ascending indices of its members and then as a lattice of its own.

// The concepts c with lower ≤ c ≤ upper (either bound may be absent: the
// filter above `lower`, the ideal below `upper`), ascending. Read from the
// intents in one pass.
std::vector<std::uint32_t> interval_members(const core::ConceptList& concepts, std::optional<std::uint32_t> lower,
                                            std::optional<std::uint32_t> upper);

// The smallest set holding `generators` that is closed under the meet and the
// join of the look-up's lattice, ascending. Each new member is met and joined
// with every member before it, so the work grows with the square of the
// result. Nothing when the control stopped the work (Ctrl-C) or when a meet
// or join is missing from the look-up (the concepts are not a lattice).
std::optional<std::vector<std::uint32_t>> generated_sublattice(const core::LatticeLookup& lookup,
                                                               std::span<const std::uint32_t> generators,
                                                               RunControl& control);

// The members (ascending) as a lattice of their own, in the same order: their
// concepts and the covering relation among them. `convex` says that every
// concept between two members is a member (intervals, filters, ideals); the
// covering is then the lattice's own restricted to the members, and is
// otherwise found by comparing the members' intents.
core::ConceptLattice lattice_of_members(const core::ConceptList& concepts, std::span<const core::CoverEdge> edges,
                                        std::span<const std::uint32_t> members, bool convex);

}  // namespace tessara::engine
