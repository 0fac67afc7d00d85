#pragma once

// Test support for the walk pool: a run's whole output, split as finely as
// the pool goes.

#include <chrono>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/walk_pool.hpp"

namespace tessara::engine {

// The pool's output with a checkpoint after every expanded concept, so idle
// workers split the tree as finely as it goes; batch 0 is a lattice run,
// otherwise a stream read batch by batch.
inline core::ConceptList pooled(const core::Context& context, WalkKind kind, RunControl& control, unsigned threads,
                                std::size_t batch) {
  WalkPool pool(context, kind, control, WalkPool::Options{threads, batch, 1, 1});
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
