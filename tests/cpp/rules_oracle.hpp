#pragma once

// Test support for the rules and measures: the (iceberg) lattice of a small
// context built from the brute-force oracle, its concepts in a shuffled order
// and its cover edges found from all pairs, so that the code under test sees
// a lattice made by no code of its own.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/core/concept.hpp"
#include "tessara/core/cover_graph.hpp"

namespace tessara::testing {

struct OracleLattice {
  std::vector<std::pair<Mask, Mask>> masks;  // (extent, intent) of concept i
  core::ConceptList concepts;
  std::vector<core::CoverEdge> edges;        // sorted by (lower, upper)

  core::CoverGraph graph() const { return core::CoverGraph(concepts.size(), edges); }
  // The index of the concept with this intent, or -1.
  int index_of_intent(Mask intent) const {
    for (std::size_t i = 0; i < masks.size(); ++i)
      if (masks[i].second == intent) return static_cast<int>(i);
    return -1;
  }
};

// The concepts held by at least min_support objects, shuffled by rng.
inline OracleLattice oracle_lattice(const Oracle& oracle, std::uint64_t min_support, std::mt19937& rng) {
  OracleLattice lattice;
  for (const auto& pair : oracle.concepts())
    if (static_cast<std::uint64_t>(std::popcount(pair.first)) >= min_support) lattice.masks.push_back(pair);
  std::shuffle(lattice.masks.begin(), lattice.masks.end(), rng);
  const std::uint64_t n_objects = oracle.rows.size();
  lattice.concepts = core::ConceptList(n_objects, oracle.n_attributes);
  for (const auto& [extent, intent] : lattice.masks) {
    core::ObjectSet objects = core::ObjectSet::empty(n_objects);
    core::AttributeSet attributes = core::AttributeSet::empty(oracle.n_attributes);
    for (std::uint32_t g = 0; g < n_objects; ++g)
      if ((extent >> g & 1) != 0) objects.insert(g);
    for (std::uint32_t m = 0; m < oracle.n_attributes; ++m)
      if ((intent >> m & 1) != 0) attributes.insert(m);
    lattice.concepts.push_back(core::Concept{objects, attributes});
  }
  const auto below = [&](std::size_t a, std::size_t b) {
    return a != b && (lattice.masks[a].first & ~lattice.masks[b].first) == 0;
  };
  for (std::size_t lower = 0; lower < lattice.masks.size(); ++lower)
    for (std::size_t upper = 0; upper < lattice.masks.size(); ++upper) {
      if (!below(lower, upper)) continue;
      bool covers = true;
      for (std::size_t between = 0; between < lattice.masks.size() && covers; ++between)
        covers = !(below(lower, between) && below(between, upper));
      if (covers) lattice.edges.push_back({static_cast<std::uint32_t>(lower), static_cast<std::uint32_t>(upper)});
    }
  return lattice;
}

inline int count_of(Mask set) { return std::popcount(set); }

// Every subset of `set`, the empty one included (visit(subset)).
template <typename Visit>
void for_each_subset(Mask set, Visit&& visit) {
  Mask subset = 0;
  do {
    visit(subset);
    subset = (subset - set) & set;
  } while (subset != 0);
}

}  // namespace tessara::testing
