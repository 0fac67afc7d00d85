#pragma once

#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {

// The Hasse edges of the lattice, sorted by (lower, upper). The first call
// computes them and stores them in lattice.cover_cache; later calls return the
// cached list without recomputing. All extents must come from one context.
const std::vector<CoverEdge>& covering_edges(ConceptLattice& lattice);

// The direct scan behind covering_edges, without the cache: for every pair
// a < b (strict extent inclusion) it looks for an intermediate concept and keeps
// the pair when there is none. Cubic in the number of concepts; kept as the
// clear reference that faster methods are checked against.
std::vector<CoverEdge> direct_covering_scan(const ConceptList& concepts);

// The same sorted list as direct_covering_scan, found faster: for each concept
// the strictly larger extents are visited smallest first, and one is a cover
// unless it lies strictly above a cover already found. Quadratic in the number
// of concepts times the number of covers of each.
std::vector<CoverEdge> upward_covering_scan(const ConceptList& concepts);

}  // namespace tessara::core
