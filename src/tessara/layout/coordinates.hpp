#pragma once

#include <span>
#include <vector>

#include "tessara/layout/keep_going.hpp"
#include "tessara/layout/proper_graph.hpp"

namespace tessara::layout {

struct CoordinateOptions {
  double concept_gap = 16.0;  // blank between the boxes of two neighbouring concepts
  double dummy_gap = 8.0;     // blank beside a dummy point
  int sweeps = 12;            // layer sweeps, alternately down and up
  double inner_weight = 4.0;  // of a segment between two dummies, against 1 for one between concepts
  KeepGoing keep_going;       // asked before each layer of a sweep: false ends the placement at once
  double end_weight = 2.0;    // of a segment between a dummy and a concept
  // Node visits the sweeps may take in total; a larger graph gets fewer
  // sweeps (never fewer than two), so the time stays linear in its size.
  std::uint64_t work_budget = 20'000'000;
};

// Horizontal positions for the nodes of the graph (concepts, then dummies),
// keeping the order of every layer: each node's box (concept_width wide for a
// concept, a point for a dummy) stays the given gap away from its
// neighbours'. The positions make the edges short and straight: each sweep
// places one layer after the other at the positions minimising the sum of
// squared horizontal lengths of the segments to the layers beside it, under
// those spacing constraints (solved exactly per layer by pooling adjacent
// violators, in time linear in the layer and its segments). The first two
// sweeps look only at the layer just placed, the later ones at both, so the
// sweeps descend on the total squared length of all segments. A long edge's
// dummies therefore line up on the straight line between its ends.
std::vector<double> assign_x(const ProperGraph& graph, std::span<const double> concept_width,
                             const CoordinateOptions& options = {});

// The same with boxes reaching left[v] to the left of concept v's centre and
// right[v] to its right.
std::vector<double> assign_x(const ProperGraph& graph, std::span<const double> left, std::span<const double> right,
                             const CoordinateOptions& options = {});

}  // namespace tessara::layout
