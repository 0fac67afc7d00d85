// Units of a walk run apart: a task written as bytes and read back, run for a
// budget, its leftover subtree handed back as further units. Running every
// unit and concatenating their concepts (each unit's, then its leftovers' in
// order) must list exactly the sequential walk, for every kernel and the LCM
// walk over sparse rows too; bytes that were altered or written for another
// context are refused, never run.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "lattice_support.hpp"
#include "tessara/core/incidence_forms.hpp"
#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/walk_unit.hpp"

namespace tessara::engine {
namespace {

constexpr WalkKind kKinds[] = {WalkKind::kFcboDescending, WalkKind::kFcboAscending, WalkKind::kInClose5,
                               WalkKind::kLcm};
constexpr std::uint32_t kListTag = 0x314c4b54;

std::uint32_t tag_of(const std::vector<std::uint8_t>& bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Runs `task` as a unit (through its bytes) and then every unit it hands back,
// depth first, appending their concepts to `out`; counts the units run.
// Counts the units run and those that travelled as member lists.
struct UnitCounts {
  std::size_t units = 0;
  std::size_t as_lists = 0;
};

void run_units(const WalkData& data, std::uint64_t min_support, const WalkTask& task, std::uint64_t budget,
               core::ConceptList& out, UnitCounts& counts, std::uint64_t checkpoint_work = 1,
               const std::shared_ptr<core::ChunkRecycler>& recycler = nullptr) {
  const std::vector<std::uint8_t> bytes = encode_task(task);
  const auto decoded = decode_task(bytes, data.n_objects, data.n_attributes);
  ASSERT_TRUE(decoded.has_value()) << decoded.error();
  ASSERT_EQ(encode_task(*decoded), bytes);
  ASSERT_TRUE(decoded->extent == task.extent && decoded->intent == task.intent && decoded->kind == task.kind &&
              decoded->start == task.start);
  RunControl control(RunLimits{min_support});
  auto result = run_unit(data, min_support, *decoded, budget, control, checkpoint_work, recycler);
  ASSERT_TRUE(result.has_value());
  ++counts.units;
  if (tag_of(bytes) == kListTag) ++counts.as_lists;
  if (budget != 0 && !result->rest.empty()) {
    // A unit with work left ends soon after its budget.
    EXPECT_GE(result->concepts.size(), std::min<std::size_t>(budget, 1));
  }
  if (recycler) {
    // Copied, so that the unit's own list (and its chunks) is freed before the next unit, as in a worker.
    for (std::size_t i = 0; i < result->concepts.size(); ++i) out.push_back(result->concepts[i].to_concept());
    result->concepts = core::ConceptList();
  } else {
    out.splice_back(std::move(result->concepts));
  }
  for (const WalkTask& rest : result->rest)
    run_units(data, min_support, rest, budget, out, counts, checkpoint_work, recycler);
}

// Baskets over many items: a few items per row drawn with a skew, some empty,
// one-item and repeated rows.
std::vector<std::vector<std::uint32_t>> baskets(std::mt19937& rng, std::uint32_t objects, std::uint32_t attributes) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<std::uint32_t>> rows(objects);
  if (attributes == 0) return rows;
  for (std::uint32_t g = 0; g < objects; ++g) {
    const double kind = unit(rng);
    if (kind < 0.08) continue;
    if (kind < 0.2 && g > 0) {
      rows[g] = rows[std::uniform_int_distribution<std::uint32_t>(0, g - 1)(rng)];
      continue;
    }
    const std::uint32_t size = kind < 0.3 ? 1 : std::uniform_int_distribution<std::uint32_t>(1, 8)(rng);
    for (std::uint32_t i = 0; i < size; ++i) {
      const double u = unit(rng);
      const auto m = static_cast<std::uint32_t>(u * u * attributes);
      if (std::find(rows[g].begin(), rows[g].end(), m) == rows[g].end()) rows[g].push_back(m);
    }
  }
  return rows;
}

TEST(WalkUnit, UnitsTogetherListTheSequentialWalk) {
  std::mt19937 rng(7);
  const std::size_t attribute_counts[] = {0, 1, 5, 12, 63, 64, 65};
  std::size_t split_runs = 0;
  for (int round = 0; round < 120; ++round) {
    const std::size_t n_objects = std::uniform_int_distribution<std::size_t>(0, 14)(rng);
    const std::size_t n_attributes = attribute_counts[round % 7];
    const double density = std::uniform_real_distribution<double>(0.1, 0.7)(rng);
    const core::Context context =
        testing::context_from_rows(testing::awkward_rows(rng, n_objects, n_attributes, density), n_attributes);
    for (const WalkKind kind : kKinds) {
      const WalkData data(context, kind);
      for (const std::uint64_t min_support : {0u, 1u, 3u}) {
        RunControl control(RunLimits{min_support});
        const core::ConceptList expected = enumerate_concepts(context, kind, control, 1).value();
        if (context.n_objects() < min_support) continue;  // no unit at all: not even the top is frequent
        for (const std::uint64_t budget : {1u, 4u, 0u}) {
          core::ConceptList found(context.n_objects(), context.n_attributes());
          UnitCounts counts;
          run_units(data, min_support, top_task(context, kind), budget, found, counts);
          ASSERT_TRUE(found == expected) << "round " << round << " kind " << static_cast<int>(kind) << " min_support "
                                         << min_support << " budget " << budget;
          if (budget == 0) {
            EXPECT_EQ(counts.units, 1u);
          }
          if (counts.units > 1) ++split_runs;
        }
      }
    }
  }
  EXPECT_GT(split_runs, 100u);  // the budgets did split the walks
}

// Units that write their concepts into chunks kept from earlier units (a
// worker running unit after unit) list the same walk, and do reuse them.
// Enough objects that extents may be lists: such lists fill whole chunks.
TEST(WalkUnit, UnitsReusingKeptChunksListTheSequentialWalk) {
  std::mt19937 rng(11);
  const core::Context context = testing::context_from_rows(testing::awkward_rows(rng, 600, 21, 0.5), 21);
  for (const WalkKind kind : {WalkKind::kFcboAscending, WalkKind::kLcm}) {
    const WalkData data(context, kind);
    RunControl control(RunLimits{0});
    const core::ConceptList expected = enumerate_concepts(context, kind, control, 1).value();
    ASSERT_GT(expected.size(), 60'000u) << "too few concepts to fill whole chunks";
    const auto recycler = std::make_shared<core::ChunkRecycler>(4);
    // The whole walk as one unit, twice (the second in the first one's chunks), then as many small units.
    for (const std::uint64_t budget : {0u, 0u, 20'000u}) {
      core::ConceptList found(context.n_objects(), context.n_attributes());
      UnitCounts counts;
      run_units(data, 0, top_task(context, kind), budget, found, counts, RunControl::kWorkPerCheckpoint, recycler);
      ASSERT_TRUE(found == expected) << "kind " << static_cast<int>(kind) << " budget " << budget;
      EXPECT_EQ(counts.units > 1, budget != 0);
    }
    EXPECT_GT(recycler->reused(), 0u);
  }
}

// The LCM walk over sparse rows, as a large transaction set is stored: units
// of every budget stitched together list the sequential walk, on the word
// boundaries of objects and items, at every threshold up to past the rows.
TEST(WalkUnit, LcmUnitsOverSparseRowsListTheSequentialWalk) {
  std::mt19937 rng(29);
  const std::uint32_t sizes[] = {0, 1, 2, 63, 64, 65, 127, 128, 129};
  std::size_t split_runs = 0;
  std::size_t list_units = 0;
  for (int round = 0; round < 32; ++round) {
    const std::uint32_t objects = sizes[rng() % 9];
    const std::uint32_t attributes = sizes[rng() % 9];
    const core::Context context = testing::context_from_rows(objects, attributes, baskets(rng, objects, attributes));
    const core::SparseIncidence incidence = core::sparse_incidence_of(context);
    const WalkData data(incidence);
    for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2},
                                            std::uint64_t{objects / 4}, std::uint64_t{objects + 1}}) {
      RunControl control(RunLimits{min_support});
      const core::ConceptList expected = enumerate_lcm_concepts(incidence, control, 1).value();
      if (objects < min_support) {
        EXPECT_EQ(expected.size(), 0u);
        continue;
      }
      for (const std::uint64_t budget : {1u, 7u, 40u}) {
        for (const std::uint64_t checkpoint_work : {1u, 16u}) {
          core::ConceptList found(objects, attributes);
          UnitCounts counts;
          run_units(data, min_support, top_task(incidence), budget, found, counts, checkpoint_work);
          ASSERT_TRUE(found == expected) << "round " << round << " " << objects << " x " << attributes
                                         << " min_support " << min_support << " budget " << budget << " work "
                                         << checkpoint_work;
          if (counts.units > 1) ++split_runs;
          list_units += counts.as_lists;
        }
      }
    }
  }
  EXPECT_GT(split_runs, 100u);
  EXPECT_GT(list_units, 100u);  // deep subtrees of wide contexts travel as member lists
}

TEST(WalkUnit, RefusesBytesNotWrittenForThisContext) {
  std::mt19937 rng(3);
  const core::Context context = testing::context_from_rows(testing::awkward_rows(rng, 70, 9, 0.4), 9);
  for (const WalkKind kind : {WalkKind::kFcboDescending, WalkKind::kFcboAscending, WalkKind::kInClose5}) {
    const WalkData data(context);
    RunControl control;
    auto first = run_unit(data, 0, top_task(context, kind), 2, control, 1);
    ASSERT_TRUE(first.has_value());
    ASSERT_FALSE(first->rest.empty());
    const std::vector<std::uint8_t> bytes = encode_task(first->rest.front());
    // Every shorter prefix, and one byte more, is refused.
    for (std::size_t size = 0; size < bytes.size(); ++size)
      EXPECT_FALSE(decode_task(std::span(bytes).first(size), 70, 9).has_value()) << size;
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(decode_task(longer, 70, 9).has_value());
    // Another shape of context (the bytes tell shapes apart by their word counts).
    EXPECT_FALSE(decode_task(bytes, 70, 10).has_value());
    EXPECT_FALSE(decode_task(bytes, 130, 9).has_value());
    // A broken tag, kind, start, and a set bit past the last object.
    for (const std::size_t at : {std::size_t{0}, std::size_t{4}, std::size_t{9}}) {
      std::vector<std::uint8_t> altered = bytes;
      altered[at] ^= 0x40;
      EXPECT_FALSE(decode_task(altered, 70, 9).has_value()) << at;
    }
    std::vector<std::uint8_t> tail = bytes;
    tail[16 + 8 + 7] |= 0x80;  // bit 127 of the extent: object 127 of 70
    EXPECT_FALSE(decode_task(tail, 70, 9).has_value());
  }
}

// Tasks written as member lists: members out of order, repeated or past the
// last object or attribute, and counts that disagree with the length, are refused.
TEST(WalkUnit, RefusesAlteredMemberLists) {
  WalkTask task;
  task.kind = WalkKind::kLcm;
  task.start = 3;
  task.extent.assign(core::ObjectSet::word_count(300), 0);
  task.intent.assign(core::AttributeSet::word_count(200), 0);
  for (const std::uint32_t g : {5u, 64u, 299u}) task.extent[g / 64] |= std::uint64_t{1} << (g % 64);
  for (const std::uint32_t m : {0u, 199u}) task.intent[m / 64] |= std::uint64_t{1} << (m % 64);
  const std::vector<std::uint8_t> bytes = encode_task(task);
  ASSERT_EQ(tag_of(bytes), kListTag);
  ASSERT_EQ(bytes.size(), 16u + 4u * (2 + 3 + 2));
  const auto decoded = decode_task(bytes, 300, 200);
  ASSERT_TRUE(decoded.has_value()) << decoded.error();
  EXPECT_TRUE(decoded->extent == task.extent && decoded->intent == task.intent);
  EXPECT_FALSE(decode_task(bytes, 299, 200).has_value());  // object 299 of 299
  EXPECT_FALSE(decode_task(bytes, 300, 199).has_value());  // attribute 199 of 199
  const auto with = [&](std::size_t at, std::uint32_t value) {
    std::vector<std::uint8_t> altered = bytes;
    for (int b = 0; b < 4; ++b) altered[at + b] = static_cast<std::uint8_t>(value >> (8 * b));
    return decode_task(altered, 300, 200).has_value();
  };
  EXPECT_FALSE(with(16, 4));   // one extent member more than written
  EXPECT_FALSE(with(20, 1));   // one intent member less
  EXPECT_FALSE(with(28, 5));   // a repeated member
  EXPECT_FALSE(with(28, 2));   // members out of order
  EXPECT_FALSE(with(40, 0));   // the intent's members out of order
  EXPECT_TRUE(with(28, 6));    // still ascending: another extent, but a valid one
  for (std::size_t size = 0; size < bytes.size(); ++size)
    EXPECT_FALSE(decode_task(std::span(bytes).first(size), 300, 200).has_value()) << size;
}

// An LCM range task (one kChildrenBelow fact) travels and comes back; facts a
// range task cannot have are refused rather than run.
TEST(WalkUnit, LcmRangeFactsTravelAndAlteredOnesAreRefused) {
  const auto range_task = [](std::uint32_t start, std::vector<InheritedFact> facts) {
    WalkTask task;
    task.kind = WalkKind::kLcm;
    task.start = start;
    task.extent.assign(core::ObjectSet::word_count(70), ~std::uint64_t{0});
    task.extent.back() = (std::uint64_t{1} << (70 % 64)) - 1;
    task.intent.assign(core::AttributeSet::word_count(9), 0);
    task.inherited = std::move(facts);
    return task;
  };
  const InheritedFact range{7, InheritedFact::kChildrenBelow, 0};
  const auto decoded = decode_task(encode_task(range_task(2, {range})), 70, 9);
  ASSERT_TRUE(decoded.has_value()) << decoded.error();
  ASSERT_EQ(decoded->inherited.size(), 1u);
  EXPECT_EQ(decoded->inherited.front().word, 7u);
  EXPECT_EQ(decoded->inherited.front().flags, InheritedFact::kChildrenBelow);
  EXPECT_TRUE(decode_task(encode_task(range_task(9, {{9, InheritedFact::kChildrenBelow, 0}})), 70, 9).has_value());
  const struct {
    const char* what;
    std::uint32_t start;
    std::vector<InheritedFact> facts;
  } refused[] = {
      {"two facts", 2, {range, range}},
      {"a close-by-one fact", 2, {{0, InheritedFact::kInfrequent, 0}}},
      {"bits set", 2, {{7, InheritedFact::kChildrenBelow, 1}}},
      {"ending past the last item", 2, {{10, InheritedFact::kChildrenBelow, 0}}},
      {"ending before its start", 8, {{7, InheritedFact::kChildrenBelow, 0}}},
  };
  for (const auto& c : refused) EXPECT_FALSE(decode_task(encode_task(range_task(c.start, c.facts)), 70, 9)) << c.what;
}

}  // namespace
}  // namespace tessara::engine
