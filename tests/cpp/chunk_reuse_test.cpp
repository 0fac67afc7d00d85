// Output chunks handed back for reuse: the recycler's bounds, records written
// into reused memory, and streams whose batches are freed as they are read
// listing exactly the sequential walk's concepts, on one and two threads.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "tessara/core/chunk_memory.hpp"
#include "tessara/core/concept.hpp"
#include "tessara/core/record_store.hpp"
#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/walk_pool.hpp"

namespace tessara {
namespace {

constexpr std::size_t kFullWords = core::kHugeChunkBytes / sizeof(std::uint64_t);

struct RecyclerCase {
  std::string name;
  std::size_t capacity;
  std::size_t freed;           // full chunks allocated through the recycler, then freed
  std::size_t words;           // size of each
  std::size_t expected_held;   // kept afterwards
};

class Recycler : public ::testing::TestWithParam<RecyclerCase> {};

TEST_P(Recycler, KeepsFullChunksUpToItsCapacity) {
  const RecyclerCase& c = GetParam();
  auto recycler = std::make_shared<core::ChunkRecycler>(c.capacity);
  {
    std::vector<core::ChunkMemory> chunks;
    for (std::size_t i = 0; i < c.freed; ++i) chunks.push_back(core::allocate_chunk(c.words, recycler));
  }
  EXPECT_EQ(recycler->held(), c.expected_held);
  // Taking them again empties the list and counts every reuse.
  std::vector<core::ChunkMemory> again;
  for (std::size_t i = 0; i < c.freed; ++i) again.push_back(core::allocate_chunk(c.words, recycler));
  EXPECT_EQ(recycler->held(), 0u);
  EXPECT_EQ(recycler->reused(), c.expected_held);
  // A closed recycler keeps nothing: freed chunks go back at once.
  recycler->close();
  again.clear();
  EXPECT_EQ(recycler->held(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, Recycler,
    ::testing::Values(RecyclerCase{"under_capacity", 4, 3, kFullWords, 3},
                    RecyclerCase{"past_capacity", 2, 5, kFullWords, 2},
                    RecyclerCase{"no_capacity", 0, 3, kFullWords, 0},
                    RecyclerCase{"just_under_full_chunk", 4, 3, kFullWords - 7, 0},
                    RecyclerCase{"larger_chunks_unmapped", 4, 3, 2 * kFullWords + 1, 0},
                    RecyclerCase{"small_chunks_from_malloc", 4, 3, 512, 0}),
    [](const ::testing::TestParamInfo<RecyclerCase>& info) { return info.param.name; });

// Records written into reused chunks read back as written, whatever the
// chunks held before, in stores of varying and of one length, also after the
// reader gave the front back early.
TEST(RecycledRecords, ReadBackAsWritten) {
  auto recycler = std::make_shared<core::ChunkRecycler>(8);
  std::mt19937_64 rng(5);
  for (int round = 0; round < 4; ++round) {
    for (const bool fixed : {false, true}) {
      const std::size_t length = 3000 + static_cast<std::size_t>(round);
      core::RecordStore store = fixed ? core::RecordStore(length, recycler) : core::RecordStore(recycler);
      std::vector<std::vector<std::uint64_t>> written;
      for (int r = 0; r < 3000; ++r) {
        const std::size_t words = fixed ? length : 1 + rng() % 5000;
        std::uint64_t* record = store.append(words);
        written.emplace_back(words);
        for (std::size_t w = 0; w < words; ++w) record[w] = written.back()[w] = rng();
      }
      for (std::size_t r = 0; r < written.size(); ++r)
        ASSERT_TRUE(std::equal(written[r].begin(), written[r].end(), store[r])) << "round " << round << " " << r;
      store.release_before(written.size() / 2);
      for (std::size_t r = written.size() / 2; r < written.size(); ++r)
        ASSERT_TRUE(std::equal(written[r].begin(), written[r].end(), store[r])) << "round " << round << " " << r;
    }
  }
  EXPECT_GT(recycler->reused(), 0u);
}

using Rows = std::vector<std::vector<std::uint32_t>>;

// Baskets of 1 to 8 items over `attributes`, a share of them repeated or empty.
Rows baskets(std::mt19937& rng, std::uint32_t objects, std::uint32_t attributes, std::uint32_t used) {
  Rows rows(objects);
  std::uniform_int_distribution<std::uint32_t> size(1, 8);
  for (std::uint32_t g = 0; g < objects; ++g) {
    if (attributes == 0 || g % 13 == 5) continue;
    if (g % 7 == 3 && g > 0) {
      rows[g] = rows[rng() % g];
      continue;
    }
    const std::uint32_t n = std::min(size(rng), attributes);
    while (rows[g].size() < n) {
      const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
      const auto m = static_cast<std::uint32_t>(u * u * std::min(used, attributes));
      if (std::find(rows[g].begin(), rows[g].end(), m) == rows[g].end()) rows[g].push_back(m);
    }
  }
  return rows;
}

struct StreamCase {
  std::string name;
  std::uint32_t objects;
  std::uint32_t attributes;
  std::uint32_t used;  // items drawn from the first `used` only
  engine::WalkKind kind;
  std::size_t batch;
  std::uint64_t min_support;
  bool reuses;  // batches span full chunks, so a sequential stream must reuse some
};

class RecyclingStream : public ::testing::TestWithParam<StreamCase> {};

// The stream's batches, each copied out and then freed (its chunks go back to
// the pool), equal the sequential walk's list on one and two threads.
TEST_P(RecyclingStream, ListsTheSequentialWalk) {
  const StreamCase& c = GetParam();
  std::mt19937 rng(c.objects * 31 + c.attributes);
  const core::Context context =
      testing::context_from_rows(c.objects, c.attributes, baskets(rng, c.objects, c.attributes, c.used));
  engine::RunControl sequential_control(engine::RunLimits{c.min_support});
  const core::ConceptList sequential = engine::enumerate_concepts(context, c.kind, sequential_control, 1).value();
  for (const unsigned threads : {1u, 2u}) {
    engine::RunControl control(engine::RunLimits{c.min_support});
    engine::WalkPool pool(context, c.kind, control,
                          engine::WalkPool::Options{threads, c.batch, 2, engine::RunControl::kWorkPerCheckpoint, 6});
    core::ConceptList all(context.n_objects(), context.n_attributes());
    core::ConceptList part;
    std::size_t batches = 0;
    while (true) {
      const engine::WalkPool::Next next = pool.next_batch(part, std::chrono::milliseconds(50));
      if (next == engine::WalkPool::Next::kEnd) break;
      if (next != engine::WalkPool::Next::kBatch) continue;
      ++batches;
      for (std::size_t i = 0; i < part.size(); ++i) all.append_from(part, i);
      part = core::ConceptList();  // frees the batch now
    }
    EXPECT_TRUE(all == sequential) << c.name << " threads " << threads << ": " << all.size() << " concepts in " << batches << " batches, "
                                   << sequential.size() << " expected";
    // On two threads the split walk may hand out many short segments, none
    // filling a full chunk; one thread fills them batch after batch.
    if (c.reuses && threads == 1) {
      EXPECT_GT(batches, 3u) << c.name;
      EXPECT_GT(pool.reused_chunks(), 0u) << c.name << " threads " << threads << ", " << batches << " batches";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RecyclingStream,
    ::testing::Values(
        // Wide intents, stored as short lists: batches of small records, so
        // whether a batch reaches a full chunk is not known beforehand.
        StreamCase{"wide_lcm", 2500, 40000, 400, engine::WalkKind::kLcm, 1024, 0, false},
        StreamCase{"wide_lcm_support", 2500, 40000, 400, engine::WalkKind::kLcm, 1024, 2, false},
        StreamCase{"wide_fcbo", 1200, 30000, 300, engine::WalkKind::kFcboAscending, 700, 0, false},
        // The word boundaries, with small batches and no full chunk at all.
        StreamCase{"objects_0", 0, 65, 65, engine::WalkKind::kLcm, 3, 0, false},
        StreamCase{"objects_1", 1, 64, 64, engine::WalkKind::kLcm, 3, 0, false},
        StreamCase{"objects_63", 63, 63, 63, engine::WalkKind::kLcm, 3, 0, false},
        StreamCase{"objects_64", 64, 129, 129, engine::WalkKind::kFcboAscending, 5, 0, false},
        StreamCase{"objects_65", 65, 127, 127, engine::WalkKind::kLcm, 5, 1, false},
        StreamCase{"objects_128", 128, 1, 1, engine::WalkKind::kLcm, 2, 0, false},
        StreamCase{"objects_129", 129, 128, 40, engine::WalkKind::kInClose5, 7, 0, false},
        StreamCase{"attributes_0", 127, 0, 0, engine::WalkKind::kLcm, 2, 0, false}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tessara
