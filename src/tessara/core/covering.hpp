#pragma once

#include <memory>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/neighbour_walk.hpp"

namespace tessara::core {

// The Hasse edges of the lattice, sorted by (lower, upper). The first call
// computes them and stores them in lattice.cover_cache; later calls return the
// cached list without recomputing. The concepts must be every concept of one
// context (as every enumeration algorithm delivers them), in any order.
const std::vector<CoverEdge>& covering_edges(ConceptLattice& lattice);

// The side covering_edges walks for this list.
NeighbourSide cheaper_neighbour_side(const ConceptList& concepts);

// The Hasse edges among the frequent concepts of `context` (every concept
// whose extent holds at least min_support objects, in any order; the bottom
// concept need not be among them), sorted by (lower, upper): the covering
// relation of the whole lattice restricted to them.
std::vector<CoverEdge> covering_of_frequent(const ConceptList& concepts, const Context& context,
                                            std::uint64_t min_support);

// The pieces of covering_of_frequent, for callers that visit the concepts in
// parts (on several threads, each with its own walk, or polling between
// parts): the walk that finds the edges of one concept at a time, and the
// sort of all edges found.
std::unique_ptr<NeighbourWalk> frequent_neighbour_walk(const ConceptList& concepts, const Context& context,
                                                       std::uint64_t min_support);
std::vector<CoverEdge> sorted_cover_edges(std::span<const CoverEdge> found, std::size_t n_concepts);

// The covering list of a complete concept lattice, sorted by (lower, upper),
// found from each concept's neighbours and not from all pairs of concepts.
std::vector<CoverEdge> covering_from_neighbours(const ConceptList& concepts, NeighbourSide side);

}  // namespace tessara::core
