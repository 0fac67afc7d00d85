#pragma once

#include <optional>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/sparse_incidence.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// The cover edges among the frequent concepts of `context` (those whose
// extents hold at least min_support objects; all of them when it is 0),
// sorted by (lower, upper), as core::covering_of_frequent finds them. The
// concepts are visited in blocks: on `threads` threads, each with its own
// neighbour walk, while the calling thread runs the control's pulse; or on
// the calling thread alone, pulsing between blocks. nullopt when the control
// stopped the run.
std::optional<std::vector<core::CoverEdge>> cover_edges(const core::ConceptList& concepts,
                                                        const core::Context& context, std::uint64_t min_support,
                                                        RunControl& control, unsigned threads);

// The same edges from the context's index lists, without its packed form
// (core::SparseNeighbourWalk): the work follows the rows of the extents.
std::optional<std::vector<core::CoverEdge>> cover_edges(const core::ConceptList& concepts,
                                                        const core::SparseIncidence& incidence,
                                                        std::uint64_t min_support, RunControl& control,
                                                        unsigned threads);

}  // namespace tessara::engine
