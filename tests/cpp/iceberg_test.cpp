// Minimum support, concept limits, cancellation and threads: every run of a
// kernel is compared with the straightforward walks in tests/cpp/reference,
// whose full concept list, filtered by extent size, is what an iceberg run
// must list in the same order. Threaded runs split the tree at every
// checkpoint and must give the sequential list exactly.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "lattice_support.hpp"
#include "reference/close_by_one.hpp"
#include "reference/direct_covering_scan.hpp"
#include "reference/next_closure.hpp"
#include "walk_support.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/engine/cover_edges.hpp"
#include "tessara/engine/enumerate.hpp"

namespace tessara::engine {
namespace {

constexpr WalkKind kKinds[] = {WalkKind::kFcboDescending, WalkKind::kFcboAscending, WalkKind::kInClose5};

core::ConceptList filtered(const core::ConceptList& all, std::uint64_t min_support) {
  core::ConceptList kept(all.n_objects(), all.n_attributes());
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all.extent_size(i) >= min_support) kept.append_from(all, i);
  return kept;
}

void expect_iceberg_runs(const core::Context& context, std::uint64_t min_support, bool threaded,
                         const std::string& label) {
  const core::ConceptList lectic = filtered(reference::next_closure(context).concepts, min_support);
  const core::ConceptList depth_first = filtered(reference::close_by_one(context).concepts, min_support);
  for (const WalkKind kind : kKinds) {
    const core::ConceptList& expected = kind == WalkKind::kFcboDescending ? lectic : depth_first;
    RunControl control(RunLimits{min_support});
    const auto found = enumerate_concepts(context, kind, control, 1);
    ASSERT_TRUE(found.has_value());
    ASSERT_TRUE(*found == expected) << label << " kind " << static_cast<int>(kind) << " min_support " << min_support
                                    << ": " << found->size() << " concepts, expected " << expected.size();
    EXPECT_EQ(control.found(), expected.size());
    if (!threaded) continue;
    for (const unsigned threads : {2u, 3u}) {
      for (const auto& [batch, ahead_bytes] : kPoolOutputs) {
        RunControl pooled_control(RunLimits{min_support});
        ASSERT_TRUE(pooled(context, kind, pooled_control, threads, batch, ahead_bytes) == expected)
            << label << " kind " << static_cast<int>(kind) << " threads " << threads << " batch " << batch
            << " ahead_bytes " << ahead_bytes;
      }
    }
  }
}

// Every threshold from 0 to one above the number of objects, on many small
// contexts of every density (rich lattices, the inherited facts at work).
TEST(Iceberg, SmallContextsEveryThreshold) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<std::uint32_t> size(0, 12);
  for (int round = 0; round < 1500; ++round) {
    const std::uint32_t objects = size(rng);
    const core::Context context = testing::random_context(rng, objects, size(rng));
    for (std::uint64_t min_support = 0; min_support <= objects + 1; ++min_support)
      expect_iceberg_runs(context, min_support, round % 10 == 0, "round " + std::to_string(round));
  }
}

// The shapes that break word-parallel code, at thresholds spread over the
// range, threaded as well.
TEST(Iceberg, WordBoundaryShapes) {
  const std::uint32_t sizes[] = {0, 1, 2, 63, 64, 65, 127, 128, 129};
  std::mt19937 rng(37);
  for (const std::uint32_t objects : sizes) {
    for (const std::uint32_t attributes : sizes) {
      if (objects > 64 && attributes > 64) continue;  // lattices too large for the references
      const core::Context context = testing::random_context(rng, objects, std::min<std::uint32_t>(attributes, 20));
      for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{objects / 3},
                                              std::uint64_t{objects / 2}, std::uint64_t{objects}})
        expect_iceberg_runs(context, min_support, min_support == objects / 2,
                            std::to_string(objects) + "x" + std::to_string(attributes));
    }
  }
}

// Larger trees, where the pool's splits reach deep levels; the same list at
// every thread count.
TEST(Iceberg, ThreadedRunsListTheSequentialOrder) {
  std::mt19937 rng(41);
  struct Shape {
    std::size_t objects, attributes;
    double density;
  };
  for (const Shape shape : {Shape{300, 30, 0.3}, Shape{2000, 24, 0.1}, Shape{90, 70, 0.12}}) {
    const core::Context context =
        testing::context_from_rows(testing::random_rows(rng, shape.objects, shape.attributes, shape.density),
                                   shape.attributes);
    for (const WalkKind kind : kKinds) {
      for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{3}}) {
        RunControl sequential_control(RunLimits{min_support});
        const core::ConceptList sequential = enumerate_concepts(context, kind, sequential_control, 1).value();
        for (const unsigned threads : {2u, 4u}) {
          for (const std::size_t batch : {std::size_t{0}, std::size_t{64}}) {
            RunControl control(RunLimits{min_support});
            EXPECT_TRUE(pooled(context, kind, control, threads, batch) == sequential)
                << shape.objects << "x" << shape.attributes << " threads " << threads << " batch " << batch;
          }
        }
      }
    }
  }
}

// The cover edges among the frequent concepts are those of the whole
// lattice between two frequent concepts, whether or not the bottom is kept.
void expect_frequent_covering(const core::Context& context, std::uint64_t min_support, bool threaded,
                              const std::string& label) {
  const core::ConceptList all = reference::close_by_one(context).concepts;
  const std::vector<core::CoverEdge> all_edges = reference::direct_covering_scan(all);
  std::vector<std::uint32_t> kept_index(all.size(), ~std::uint32_t{0});
  std::uint32_t kept = 0;
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all.extent_size(i) >= min_support) kept_index[i] = kept++;
  std::vector<core::CoverEdge> expected;
  for (const core::CoverEdge edge : all_edges)
    if (kept_index[edge.lower] != ~std::uint32_t{0})
      expected.push_back(core::CoverEdge{kept_index[edge.lower], kept_index[edge.upper]});
  const core::ConceptList frequent = filtered(all, min_support);
  EXPECT_EQ(core::covering_of_frequent(frequent, context, min_support), expected)
      << label << " min_support " << min_support;
  if (threaded) {
    RunControl control;
    EXPECT_EQ(cover_edges(frequent, context, min_support, control, 3), expected) << "threads, " << label;
  }
}

TEST(Iceberg, CoverEdgesAreTheLatticesAmongFrequentConcepts) {
  std::mt19937 rng(59);
  std::uniform_int_distribution<std::uint32_t> size(0, 11);
  for (int round = 0; round < 400; ++round) {
    const std::uint32_t objects = round % 50 == 0 ? 70 : size(rng);
    const core::Context context = testing::random_context(rng, objects, size(rng));
    for (std::uint64_t min_support = 0; min_support <= objects + 1; ++min_support)
      expect_frequent_covering(context, min_support, round % 20 == 0, "round " + std::to_string(round));
  }
}

// Many objects and few attributes: extents stored as lists, and small
// extents spread over many words, which the neighbour walk compacts.
TEST(Iceberg, CoverEdgesOfWideSparseContexts) {
  std::mt19937 rng(61);
  for (const std::size_t objects : {300u, 449u, 700u, 1000u}) {
    for (const double density : {0.02, 0.1, 0.3}) {
      const core::Context context = testing::context_from_rows(testing::random_rows(rng, objects, 10, density), 10);
      for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{2}, std::uint64_t{5},
                                              std::uint64_t{objects / 20}, std::uint64_t{objects / 3}})
        expect_frequent_covering(context, min_support, true,
                                 std::to_string(objects) + " objects at " + std::to_string(density));
    }
  }
}

TEST(Iceberg, MaxConceptsStopsOnlyPastTheLimit) {
  std::mt19937 rng(43);
  const core::Context context = testing::context_from_rows(testing::random_rows(rng, 200, 20, 0.3), 20);
  RunControl unlimited;
  const std::size_t all = enumerate_concepts(context, WalkKind::kFcboAscending, unlimited, 1).value().size();
  for (const WalkKind kind : kKinds) {
    for (const unsigned threads : {1u, 2u}) {
      RunControl exact(RunLimits{0, all});
      EXPECT_EQ(enumerate_concepts(context, kind, exact, threads).value().size(), all);
      for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{10}, std::uint64_t{all - 1}}) {
        RunControl limited(RunLimits{0, limit});
        const auto run = enumerate_concepts(context, kind, limited, threads);
        ASSERT_FALSE(run.has_value()) << limit;
        EXPECT_EQ(run.error(), RunStop::kTooManyConcepts);
      }
    }
  }
}

// The pulse runs on the calling thread, sees the count grow, and stops the
// run when it says so; nothing is kept and no trace of a result is left.
TEST(Iceberg, PulseCancelsTheRun) {
  std::mt19937 rng(47);
  // Millions of concepts (seconds of work), so the run is still going at the second pulse.
  const core::Context context = testing::context_from_rows(testing::random_rows(rng, 3000, 60, 0.25), 60);
  for (const unsigned threads : {1u, 2u}) {
    int pulses = 0;
    std::uint64_t last_seen = 0;
    RunControl control(RunLimits{}, [&](std::uint64_t found) {
      EXPECT_GE(found, last_seen);
      last_seen = found;
      return ++pulses < 2;
    });
    const auto run = algorithm_by_name("fcbo")->compute(context, control, threads);
    ASSERT_FALSE(run.has_value());
    EXPECT_EQ(run.error(), RunStop::kCancelled);
    EXPECT_EQ(pulses, 2);
  }
}

TEST(Iceberg, StreamStopsWhenCancelledAndEndsAtOnceWhenNothingIsFrequent) {
  std::mt19937 rng(53);
  const core::Context context = testing::context_from_rows(testing::random_rows(rng, 2000, 40, 0.2), 40);
  RunControl control;
  {
    WalkPool pool(context, WalkKind::kInClose5, control, WalkPool::Options{2, 16, 1, 1});
    core::ConceptList batch;
    ASSERT_EQ(pool.next_batch(batch, std::chrono::seconds(5)), WalkPool::Next::kBatch);
    pool.cancel();
    EXPECT_EQ(pool.next_batch(batch, std::chrono::seconds(5)), WalkPool::Next::kEnd);
  }  // joins the workers, which were waiting for room
  EXPECT_EQ(control.stop_reason(), RunStop::kCancelled);

  RunControl rare(RunLimits{2001});
  WalkPool pool(context, WalkKind::kFcboAscending, rare, WalkPool::Options{2, 16, 1, 1});
  core::ConceptList batch;
  EXPECT_EQ(pool.next_batch(batch, std::chrono::seconds(5)), WalkPool::Next::kEnd);
}

}  // namespace
}  // namespace tessara::engine
