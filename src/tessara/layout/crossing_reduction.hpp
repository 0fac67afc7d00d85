#pragma once

#include <cstdint>

#include "tessara/layout/keep_going.hpp"
#include "tessara/layout/proper_graph.hpp"

namespace tessara::layout {

struct CrossingReductionOptions {
  // Rounds of one layer-by-layer sweep followed by transpositions; fewer run
  // when the graph is large (see work_budget) or when rounds stop helping.
  std::uint32_t max_rounds = 24;
  // Rounds stop once this many in a row have not lowered the best count.
  std::uint32_t patience = 6;
  // Segment visits the rounds may take in total, so that a huge graph gets
  // fewer rounds (never fewer than min_rounds): the time stays linear in the
  // number of segments.
  std::uint64_t work_budget = 10'000'000;
  std::uint32_t min_rounds = 4;
  // Work a sifting sweep may take in total over all rounds (each sweep costs
  // about the sum over layers of the layer's size times the nodes and edges
  // around it); a graph whose single sweep exceeds it is not sifted.
  std::uint64_t sifting_budget = 60'000'000;
  // Graphs with at most this many segments also try a second starting order
  // and keep the better result.
  std::uint64_t restart_limit = 30'000;
  // Graphs with fewer segments than this budget also try shuffled starting
  // orders, as many as the budget holds segments of theirs (at most
  // max_restarts), and keep the best result.
  std::uint64_t restart_budget = 12'000;
  std::uint64_t max_restarts = 6;
  // Asked before each layer of a sweep: false ends the reduction at once.
  KeepGoing keep_going;
};

// Reorders the layers of the graph to reduce edge crossings, and returns the
// number of crossings of the order it keeps (the best one seen).
//
// Starts from a breadth-first order from the top (and for small graphs from
// further orders, keeping the best result), then runs rounds of a
// weighted-median sweep (alternately down and up, each layer ordered by the
// positions of its neighbours on the layer just placed) followed by
// transposition of adjacent nodes on every layer while a swap lowers the
// crossings between the pair's edges. Each round costs time linear in the
// segments (up to the sorting of small lists); rounds go on while they help.
// Then, when the graph is small enough for the sifting budget, rounds of
// sifting follow (each node moved to its best place in its layer).
std::uint64_t reduce_crossings(ProperGraph& graph, const CrossingReductionOptions& options = {});

}  // namespace tessara::layout
