#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/cover_graph.hpp"
#include "tessara/engine/run_control.hpp"

// Stability of concepts: how much a concept depends on particular objects.
// The (intensional) stability of (A, B) is the share of the subsets C of A
// whose derived intent C' is B: s(A, B) / 2^|A|, s counting those subsets.
namespace tessara::engine {

// All of these need the complete lattice (every concept below a concept is in
// the list): an iceberg lattice lacks the concepts that the small subsets of
// an extent derive.
//
// Exact stability of every concept of a complete lattice, from its cover
// edges and extent sizes alone. Every subset C of A has C' the intent of
// exactly one concept at or below (A, B), so 2^|A| is the sum of s over the
// concepts at or below it, and s(A, B) = 2^|A| minus the sum over the
// concepts strictly below. Worked in ratio form, as the instability
// 1 - stability = sum over the concepts (D, E) strictly below of
// stability(D, E) * 2^(|D| - |A|): every term is positive, so the sum is
// accurate, and nothing overflows.
//
// Concepts are taken in ascending extent size, each summing over the
// concepts below it by a walk down the cover edges. Below an extent of fewer
// than 64 objects the counts are integers and kept exactly, so the result is
// the exact ratio rounded once. Above, a concept whose extent is more than
// `kStabilityWindow` objects smaller adds less than 2^-window of the
// concept's subsets, and the walk does not go there: with at most 2^32
// concepts that leaves out less than 2^-(window - 32) in all, below the
// rounding of a double for the window used.
//
// The work is one visit per concept below another within the window; with
// more than max_visits of them the walk gives up and returns nothing, so a
// caller can fall back to sampling what it cannot afford to count.
inline constexpr std::uint64_t kStabilityWindow = 96;
std::optional<std::vector<double>> exact_stability(
    const core::ConceptList& concepts, const core::CoverGraph& graph,
    std::uint64_t max_visits = std::numeric_limits<std::uint64_t>::max());
// The same, beating the control as it goes: nothing either when the control
// cancelled the run (control.stopped() tells the two apart).
std::optional<std::vector<double>> exact_stability(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                                   std::uint64_t max_visits, RunControl& control);

// The stability of every concept estimated from `samples` subsets of its
// extent drawn uniformly (each object in or out with probability 1/2), with a
// generator seeded by `seed` (the same seed gives the same estimates). A
// subset derives the concept's intent exactly when it lies inside no lower
// neighbour's extent. See stability_error_bound for the accuracy.
std::vector<double> sampled_stability(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                      std::uint64_t samples, std::uint64_t seed);
// The same, beating the control between concepts; nullopt when it cancelled.
std::optional<std::vector<double>> sampled_stability(const core::ConceptList& concepts,
                                                     const core::CoverGraph& graph, std::uint64_t samples,
                                                     std::uint64_t seed, RunControl& control);

// Hoeffding's bound for the sampled estimate of one concept: with probability
// at least `confidence` the estimate lies within the returned distance of the
// true stability, namely sqrt(ln(2 / (1 - confidence)) / (2 samples)).
// Precondition: samples > 0 and 0 < confidence < 1.
double stability_error_bound(std::uint64_t samples, double confidence);

// The smallest drop in support from each concept to one of its lower
// neighbours: |A| minus the largest extent below it. A concept with no lower
// neighbour (the bottom) loses its whole extent.
std::vector<std::uint64_t> delta_stability(const core::ConceptList& concepts, const core::CoverGraph& graph);

}  // namespace tessara::engine
