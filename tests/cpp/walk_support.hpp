#pragma once

// Test support for the walk pool: a run's whole output, split as finely as
// the pool goes.

#include <chrono>
#include <utility>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/walk_pool.hpp"

namespace tessara::engine {

// (batch, ahead_bytes) of the pool runs a test compares: a lattice run, a
// stream whose workers wait after one unread batch, and one whose later
// segments run far ahead of the reader.
inline constexpr std::pair<std::size_t, std::size_t> kPoolOutputs[] = {{0, 0}, {3, 0}, {3, std::size_t{1} << 20}};

// The pool's output with a checkpoint after every expanded concept, so idle
// workers split the tree as finely as it goes; batch 0 is a lattice run,
// otherwise a stream read batch by batch, whose segments hold one unread
// batch, or more up to `ahead_bytes`.
inline core::ConceptList pooled(const core::Context& context, WalkKind kind, RunControl& control, unsigned threads,
                                std::size_t batch, std::size_t ahead_bytes = 0) {
  WalkPool pool(context, kind, control, WalkPool::Options{threads, batch, 1, 1, 0, ahead_bytes});
  if (batch == 0) return pool.finish().value();
  core::ConceptList all(context.n_objects(), context.n_attributes());
  core::ConceptList part;
  while (true) {
    const WalkPool::Next next = pool.next_batch(part, std::chrono::milliseconds(50));
    if (next == WalkPool::Next::kEnd) break;
    if (next == WalkPool::Next::kBatch) all.splice_back(std::move(part));
  }
  return all;
}

}  // namespace tessara::engine
