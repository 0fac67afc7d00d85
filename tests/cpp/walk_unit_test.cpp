// Units of a walk run apart: a task written as bytes and read back, run for a
// budget, its leftover subtree handed back as further units. Running every
// unit and concatenating their concepts (each unit's, then its leftovers' in
// order) must list exactly the sequential walk; bytes that were altered or
// written for another context are refused, never run.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/walk_unit.hpp"

namespace tessara::engine {
namespace {

constexpr WalkKind kKinds[] = {WalkKind::kFcboDescending, WalkKind::kFcboAscending, WalkKind::kInClose5};

// Runs `task` as a unit (through its bytes) and then every unit it hands back,
// depth first, appending their concepts to `out`; counts the units run.
void run_units(const WalkData& data, const core::Context& context, std::uint64_t min_support, const WalkTask& task,
               std::uint64_t budget, core::ConceptList& out, std::size_t& units) {
  const std::vector<std::uint8_t> bytes = encode_task(task);
  const auto decoded = decode_task(bytes, context.n_objects(), context.n_attributes());
  ASSERT_TRUE(decoded.has_value()) << decoded.error();
  ASSERT_EQ(encode_task(*decoded), bytes);
  RunControl control(RunLimits{min_support});
  auto result = run_unit(data, min_support, *decoded, budget, control, 1);
  ASSERT_TRUE(result.has_value());
  ++units;
  out.splice_back(std::move(result->concepts));
  for (const WalkTask& rest : result->rest) run_units(data, context, min_support, rest, budget, out, units);
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
    const WalkData data(context);
    for (const WalkKind kind : kKinds) {
      for (const std::uint64_t min_support : {0u, 1u, 3u}) {
        RunControl control(RunLimits{min_support});
        const core::ConceptList expected = enumerate_concepts(context, kind, control, 1).value();
        if (context.n_objects() < min_support) continue;  // no unit at all: not even the top is frequent
        for (const std::uint64_t budget : {1u, 4u, 0u}) {
          core::ConceptList found(context.n_objects(), context.n_attributes());
          std::size_t units = 0;
          run_units(data, context, min_support, top_task(context, kind), budget, found, units);
          ASSERT_TRUE(found == expected) << "round " << round << " kind " << static_cast<int>(kind) << " min_support "
                                         << min_support << " budget " << budget;
          if (budget == 0) {
            EXPECT_EQ(units, 1u);
          }
          if (units > 1) ++split_runs;
        }
      }
    }
  }
  EXPECT_GT(split_runs, 100u);  // the budgets did split the walks
}

TEST(WalkUnit, RefusesBytesNotWrittenForThisContext) {
  std::mt19937 rng(3);
  const core::Context context = testing::context_from_rows(testing::awkward_rows(rng, 70, 9, 0.4), 9);
  for (const WalkKind kind : kKinds) {
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

}  // namespace
}  // namespace tessara::engine
