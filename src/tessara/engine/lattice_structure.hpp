#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "tessara/core/cover_graph.hpp"
#include "tessara/core/lattice_lookup.hpp"

namespace tessara::engine {

// Structural questions on a finite lattice, asked of its covering relation.
// The graph must be that of a lattice (every pair has a meet and a join among
// its elements): the answers on an iceberg poset mean nothing.

// The elements with exactly one lower cover (join-irreducible) or exactly one
// upper cover (meet-irreducible), ascending.
std::vector<std::uint32_t> join_irreducibles(const core::CoverGraph& graph);
std::vector<std::uint32_t> meet_irreducibles(const core::CoverGraph& graph);

// Which covers a semimodularity question looks at: upper semimodularity asks
// whether two elements covering a third are both covered by their join;
// lower semimodularity is the same question in the dual lattice.
enum class CoverSide { kUpper, kLower };

// Two distinct elements a and b both covering x (kUpper) or both covered by x
// (kLower) without a common upper (lower) cover: their join (meet) does not
// cover both (is not covered by both), so the law fails there.
struct CoverPairFailure {
  std::uint32_t x;
  std::uint32_t a;
  std::uint32_t b;
};

// The first failure of semimodularity on that side, by ascending x, or
// nothing when the lattice is semimodular. Linear in the number of paths of
// two covers: a and b covering x share at most one upper cover (it would be
// a ∨ b), so x passes exactly when the pairs of its upper covers sharing an
// upper cover number C(k, 2) for its k upper covers.
std::optional<CoverPairFailure> semimodularity_failure(const core::CoverGraph& graph, CoverSide side);

// A diamond M3 whose edges are covers: `bottom` covered by three elements,
// all three covered by `top`. A modular lattice of finite length is
// distributive exactly when it has none.
struct CoverDiamond {
  std::uint32_t bottom;
  std::array<std::uint32_t, 3> middle;
  std::uint32_t top;
};
std::optional<CoverDiamond> cover_diamond(const core::CoverGraph& graph);

// A pentagon N5 as (bottom, low, high, side, top): low < high, side
// incomparable with both, low ∧ side = high ∧ side = bottom and
// low ∨ side = high ∨ side = top. Built from a semimodularity failure (a
// lattice of finite length is modular exactly when it is upper and lower
// semimodular). Nothing when the look-up lacks the join or meet of the pair
// (the concepts are not a lattice).
std::optional<std::array<std::uint32_t, 5>> pentagon_from(const CoverPairFailure& failure, CoverSide side,
                                                          const core::CoverGraph& graph,
                                                          const core::LatticeLookup& lookup);

// A join-irreducible element that is not an atom (its one lower cover is not
// the least element), or nothing. A finite lattice has every element the join
// of the atoms below it exactly when every join-irreducible is an atom.
std::optional<std::uint32_t> join_irreducible_non_atom(const core::CoverGraph& graph);

}  // namespace tessara::engine
