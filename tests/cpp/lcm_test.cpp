// The LCM walk against the references: on random transaction-shaped contexts
// (single-item rows, duplicate and empty rows, items never used, word
// boundaries) it must list exactly the frequent concepts of close-by-one, in
// its own order, and that order must not depend on the thread count, the
// batch size or where the pool splits the walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "reference/close_by_one.hpp"
#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/lcm.hpp"
#include "tessara/engine/walk_task.hpp"
#include "walk_support.hpp"

namespace tessara::engine {
namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;

// A concept as comparable words: the intent, then the extent.
std::vector<std::vector<std::uint64_t>> sorted_records(const core::ConceptList& list) {
  std::vector<std::vector<std::uint64_t>> records;
  std::vector<std::uint64_t> extent(list.extent_stride());
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::vector<std::uint64_t> record(list.intent_stride());
    list.intent_into(i, record);
    list.extent_into(i, extent);
    record.insert(record.end(), extent.begin(), extent.end());
    records.push_back(std::move(record));
  }
  std::sort(records.begin(), records.end());
  return records;
}

std::vector<std::vector<std::uint64_t>> frequent_reference(const core::ConceptList& all, std::uint64_t min_support) {
  core::ConceptList kept(all.n_objects(), all.n_attributes());
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all.extent_size(i) >= min_support) kept.append_from(all, i);
  return sorted_records(kept);
}

// Baskets: most items drawn from a skewed distribution, some rows with one
// item, empty rows, repeated rows, and the items above `used` never drawn.
Rows random_baskets(std::mt19937& rng, std::uint32_t objects, std::uint32_t attributes) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::uint32_t used = attributes == 0 ? 0 : std::uniform_int_distribution<std::uint32_t>(1, attributes)(rng);
  const double mean = 1.0 + 6.0 * unit(rng);
  Rows rows(objects);
  for (std::uint32_t g = 0; g < objects; ++g) {
    const double kind = unit(rng);
    if (used == 0 || kind < 0.08) continue;
    if (kind < 0.2 && g > 0) {
      rows[g] = rows[std::uniform_int_distribution<std::uint32_t>(0, g - 1)(rng)];
      continue;
    }
    const std::uint32_t size =
        kind < 0.3 ? 1 : std::min<std::uint32_t>(used, std::poisson_distribution<std::uint32_t>(mean)(rng) + 1);
    while (rows[g].size() < size) {
      // Skewed: low indices far more often than high ones.
      const double u = unit(rng);
      const auto m = static_cast<std::uint32_t>(u * u * used);
      if (std::find(rows[g].begin(), rows[g].end(), m) == rows[g].end()) rows[g].push_back(m);
    }
  }
  return rows;
}

void expect_lcm_runs(const core::Context& context, std::uint64_t min_support, bool threaded, const std::string& label) {
  const auto expected = frequent_reference(reference::close_by_one(context).concepts, min_support);
  RunControl control(RunLimits{min_support});
  const auto found = enumerate_concepts(context, WalkKind::kLcm, control, 1);
  ASSERT_TRUE(found.has_value());
  ASSERT_EQ(sorted_records(*found), expected) << label << " min_support " << min_support;
  EXPECT_EQ(control.found(), expected.size());
  for (std::size_t i = 0; i < found->size(); ++i) {  // a listed extent is read as ascending
    const std::vector<std::uint32_t> members = found->extent(i).members();
    ASSERT_TRUE(std::is_sorted(members.begin(), members.end()))
        << label << " min_support " << min_support << " concept " << i;
  }
  if (found->size() > 0) {
    EXPECT_EQ(found->extent_size(0), context.n_objects()) << "the top concept comes first";
  }
  if (!threaded) return;
  for (const unsigned threads : {2u, 3u}) {
    for (const auto& [batch, ahead_bytes] : kPoolOutputs) {
      RunControl pooled_control(RunLimits{min_support});
      ASSERT_TRUE(pooled(context, WalkKind::kLcm, pooled_control, threads, batch, ahead_bytes) == *found)
          << label << " threads " << threads << " batch " << batch << " ahead_bytes " << ahead_bytes;
    }
  }
}

TEST(Lcm, RandomBasketsEveryThreshold) {
  std::mt19937 rng(73);
  std::uniform_int_distribution<std::uint32_t> objects_of(0, 24);
  std::uniform_int_distribution<std::uint32_t> attributes_of(0, 30);
  for (int round = 0; round < 800; ++round) {
    const std::uint32_t objects = objects_of(rng);
    const std::uint32_t attributes = attributes_of(rng);
    const core::Context context =
        testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
    for (std::uint64_t min_support = 0; min_support <= objects + 1; ++min_support)
      expect_lcm_runs(context, min_support, round % 10 == 0 && min_support <= 2, "round " + std::to_string(round));
  }
}

// Dense rows too (the same random contexts as the other kernels' tests):
// full rows and columns, where the closure of the empty set is not empty.
TEST(Lcm, DenseContextsEveryThreshold) {
  std::mt19937 rng(79);
  std::uniform_int_distribution<std::uint32_t> size(0, 11);
  for (int round = 0; round < 600; ++round) {
    const std::uint32_t objects = size(rng);
    const core::Context context = testing::random_context(rng, objects, size(rng));
    for (std::uint64_t min_support = 0; min_support <= objects + 1; ++min_support)
      expect_lcm_runs(context, min_support, round % 20 == 0, "round " + std::to_string(round));
  }
}

TEST(Lcm, WordBoundaryShapes) {
  const std::uint32_t sizes[] = {0, 1, 2, 63, 64, 65, 127, 128, 129};
  std::mt19937 rng(83);
  for (const std::uint32_t objects : sizes) {
    for (const std::uint32_t attributes : sizes) {
      if (objects > 65 && attributes > 65) continue;  // the reference's lattices grow too large
      const core::Context context =
          testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
      for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2},
                                              std::uint64_t{objects / 3}, std::uint64_t{objects}})
        expect_lcm_runs(context, min_support, min_support == 1,
                        std::to_string(objects) + "x" + std::to_string(attributes));
    }
  }
}

// Thousands of objects: extents long enough to be listed and put in order
// by the walk's ways (insertion, and a bit per object) after merged
// transactions interleaved their objects.
TEST(Lcm, LongListedExtents) {
  std::mt19937 rng(89);
  for (const auto& [objects, attributes] : {std::pair{4'500u, 24u}, std::pair{9'000u, 20u}}) {
    const core::Context context =
        testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
    for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{40}})
      expect_lcm_runs(context, min_support, true, std::to_string(objects) + "x" + std::to_string(attributes));
  }
}

// Tens of thousands of objects and rare items: the first level's children
// have extents far thinner than the span of all objects, which are sorted by
// radix rather than read off a bit per object; deeper ones are read off bits.
// Against FCbO at the same threshold, listed extents ascending, and the same
// list on two threads.
TEST(Lcm, ThinExtentsOfAWideFirstLevel) {
  std::mt19937 rng(101);
  const core::Context context = testing::context_from_rows(40'000, 300, random_baskets(rng, 40'000, 300));
  for (const std::uint64_t min_support : {std::uint64_t{40}, std::uint64_t{200}}) {
    RunControl control(RunLimits{min_support});
    const core::ConceptList found = enumerate_concepts(context, WalkKind::kLcm, control, 1).value();
    RunControl fcbo_control(RunLimits{min_support});
    EXPECT_EQ(sorted_records(found),
              sorted_records(enumerate_concepts(context, WalkKind::kFcboAscending, fcbo_control, 1).value()));
    for (std::size_t i = 0; i < found.size(); ++i) {
      const std::vector<std::uint32_t> members = found.extent(i).members();
      ASSERT_TRUE(std::is_sorted(members.begin(), members.end())) << "min_support " << min_support << " concept " << i;
    }
    RunControl pooled_control(RunLimits{min_support});
    EXPECT_TRUE(pooled(context, WalkKind::kLcm, pooled_control, 2, 64) == found) << "min_support " << min_support;
  }
}

// A host that asks for work at every checkpoint (or at a random share of
// them) and runs what it is given itself, after the donor, on the same
// walker: the split walk's output, placed as the pool places it, must be the
// sequential walk's, concept for concept. No threads: a fault in what a
// donated task carries (its intent, the items below its start, the
// threshold, merged transactions) shows here on every run. A host that takes
// the whole frontier stands for a unit, whose leftover tasks cross a process
// boundary and build their databases from their extents.
class ForcingHost final : public WalkHost {
 public:
  ForcingHost(const core::Context& context, std::mt19937& rng, double want_rate, std::uint64_t checkpoint_work,
              bool whole_frontier)
      : out_(context.n_objects(), context.n_attributes()),
        rng_(rng),
        want_rate_(want_rate),
        checkpoint_work_(checkpoint_work),
        whole_frontier_(whole_frontier) {}

  core::ConceptList& output() override { return out_; }
  bool checkpoint() override { return true; }
  std::uint64_t checkpoint_work() const noexcept override { return checkpoint_work_; }
  bool wants_work() const noexcept override { return std::uniform_real_distribution<double>(0, 1)(rng_) < want_rate_; }
  bool takes_whole_frontier() const noexcept override { return whole_frontier_; }
  void donate(std::vector<WalkTask>&& tasks) override {
    EXPECT_FALSE(tasks.empty()) << "a donation carries at least one task";
    gifts_.push_back(std::move(tasks));
  }

  core::ConceptList out_;
  std::vector<std::vector<WalkTask>> gifts_;

 private:
  std::mt19937& rng_;
  double want_rate_;
  std::uint64_t checkpoint_work_;
  bool whole_frontier_;
};

// The task's output followed by its gifts' outputs, the latest gift first.
core::ConceptList run_split(const core::Context& context, const WalkData& data, TaskWalker& walker,
                            std::uint64_t min_support, const WalkTask& task, std::mt19937& rng, double want_rate,
                            std::uint64_t checkpoint_work) {
  const bool whole_frontier = rng() % 3 == 0;
  ForcingHost host(context, rng, want_rate, checkpoint_work, whole_frontier);
  walker.run(task, host);
  core::ConceptList all = std::move(host.out_);
  for (auto gift = host.gifts_.rbegin(); gift != host.gifts_.rend(); ++gift) {
    for (const WalkTask& given : *gift) {
      EXPECT_EQ(given.kind, WalkKind::kLcm);
      if (whole_frontier) {
        EXPECT_EQ(given.prepared, nullptr) << "a unit's leftover is complete without its giver's level";
        EXPECT_FALSE(given.extent.empty() && context.n_objects() > 0) << "a unit's leftover carries its extent";
      } else {
        EXPECT_NE(given.prepared, nullptr) << "a gift in this process carries its giver's level";
      }
      // Now and then on a fresh walker: a gift needs nothing but the context.
      if (rng() % 4 == 0) {
        const auto fresh = make_walker(data, WalkKind::kLcm, min_support);
        all.splice_back(run_split(context, data, *fresh, min_support, given, rng, want_rate, checkpoint_work));
      } else {
        all.splice_back(run_split(context, data, walker, min_support, given, rng, want_rate, checkpoint_work));
      }
    }
  }
  return all;
}

struct ForcedShape {
  const char* name;
  bool dense;
  std::uint32_t most_objects;
  std::uint32_t most_attributes;
  int rounds;
};

class ForcedDonation : public ::testing::TestWithParam<ForcedShape> {};

TEST_P(ForcedDonation, SplitWalkListsTheSequentialOrder) {
  const ForcedShape shape = GetParam();
  std::mt19937 rng(107 + static_cast<unsigned>(shape.most_objects * 131 + shape.most_attributes));
  for (int round = 0; round < shape.rounds; ++round) {
    const std::uint32_t objects = std::uniform_int_distribution<std::uint32_t>(0, shape.most_objects)(rng);
    const std::uint32_t attributes = std::uniform_int_distribution<std::uint32_t>(0, shape.most_attributes)(rng);
    const core::Context context =
        shape.dense ? testing::random_context(rng, objects, attributes)
                    : testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
    const WalkData data(context, WalkKind::kLcm);
    for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2},
                                            std::uint64_t{objects / 4 + 1}, std::uint64_t{objects / 2}}) {
      if (min_support > objects) continue;
      RunControl control(RunLimits{min_support});
      const core::ConceptList sequential = enumerate_concepts(context, WalkKind::kLcm, control, 1).value();
      const auto split_walker = make_walker(data, WalkKind::kLcm, min_support);
      for (const double want_rate : {1.0, 0.3}) {
        for (const std::uint64_t checkpoint_work : {std::uint64_t{1}, std::uint64_t{5}}) {
          const core::ConceptList split = run_split(context, data, *split_walker, min_support,
                                                    top_task(context, WalkKind::kLcm), rng, want_rate, checkpoint_work);
          ASSERT_TRUE(split == sequential)
              << shape.name << " round " << round << " " << objects << "x" << attributes << " min_support "
              << min_support << " want " << want_rate << " work " << checkpoint_work << ": " << split.size()
              << " concepts against " << sequential.size();
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ForcedDonation,
                         ::testing::Values(ForcedShape{"dense", true, 11, 11, 1500},
                                           ForcedShape{"baskets", false, 24, 30, 800},
                                           ForcedShape{"wide baskets", false, 70, 130, 60},
                                           ForcedShape{"long baskets", false, 200, 20, 60}),
                         [](const auto& info) {
                           return std::string(info.param.dense ? "Dense" : "Baskets") + std::to_string(info.index);
                         });

// The word boundaries of extents and intents, split at every checkpoint.
TEST(ForcedDonation, WordBoundaryShapes) {
  const std::uint32_t sizes[] = {0, 1, 63, 64, 65, 127, 128, 129};
  std::mt19937 rng(109);
  for (const std::uint32_t objects : sizes) {
    for (const std::uint32_t attributes : {1u, 63u, 64u, 65u, 129u}) {
      const core::Context context =
          testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
      const WalkData data(context, WalkKind::kLcm);
      for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{2}}) {
        if (min_support > objects) continue;  // the pool lists nothing, not even the top concept
        RunControl control(RunLimits{min_support});
        const core::ConceptList sequential = enumerate_concepts(context, WalkKind::kLcm, control, 1).value();
        const auto walker = make_walker(data, WalkKind::kLcm, min_support);
        EXPECT_TRUE(run_split(context, data, *walker, min_support, top_task(context, WalkKind::kLcm), rng, 1.0, 1) ==
                    sequential)
            << objects << "x" << attributes << " min_support " << min_support;
      }
    }
  }
}

// Larger walks, split by the pool at every checkpoint: the sequential order
// at every thread count and batch size.
TEST(Lcm, ThreadedRunsListTheSequentialOrder) {
  std::mt19937 rng(89);
  // Past 448 attributes most intents are stored as lists, past 65,536 with 32 bits a member.
  for (const auto& [objects, attributes] : {std::pair{3000u, 400u}, std::pair{500u, 60u}, std::pair{200u, 2000u},
                                            std::pair{300u, 449u}, std::pair{150u, 65'537u}}) {
    const core::Context context =
        testing::context_from_rows(objects, attributes, random_baskets(rng, objects, attributes));
    for (const std::uint64_t min_support : {std::uint64_t{0}, std::uint64_t{2}, std::uint64_t{10}}) {
      RunControl sequential_control(RunLimits{min_support});
      const core::ConceptList sequential = enumerate_concepts(context, WalkKind::kLcm, sequential_control, 1).value();
      RunControl fcbo_control(RunLimits{min_support});
      EXPECT_EQ(sorted_records(sequential),
                sorted_records(enumerate_concepts(context, WalkKind::kFcboAscending, fcbo_control, 1).value()));
      for (const unsigned threads : {2u, 4u}) {
        for (const std::size_t batch : {std::size_t{0}, std::size_t{64}}) {
          RunControl control(RunLimits{min_support});
          EXPECT_TRUE(pooled(context, WalkKind::kLcm, control, threads, batch) == sequential)
              << objects << "x" << attributes << " threads " << threads << " batch " << batch;
        }
      }
    }
  }
}

TEST(Lcm, MaxConceptsStopsOnlyPastTheLimit) {
  std::mt19937 rng(97);
  const core::Context context = testing::context_from_rows(300, 40, random_baskets(rng, 300, 40));
  RunControl unlimited;
  const std::size_t all = enumerate_concepts(context, WalkKind::kLcm, unlimited, 1).value().size();
  for (const unsigned threads : {1u, 2u}) {
    RunControl exact(RunLimits{0, all});
    EXPECT_EQ(enumerate_concepts(context, WalkKind::kLcm, exact, threads).value().size(), all);
    for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{10}, std::uint64_t{all - 1}}) {
      RunControl limited(RunLimits{0, limit});
      const auto run = enumerate_concepts(context, WalkKind::kLcm, limited, threads);
      ASSERT_FALSE(run.has_value()) << limit;
      EXPECT_EQ(run.error(), RunStop::kTooManyConcepts);
    }
  }
}

TEST(Lcm, CancelledRunStops) {
  std::mt19937 rng(101);
  const core::Context context = testing::context_from_rows(2000, 300, random_baskets(rng, 2000, 300));
  for (const unsigned threads : {1u, 2u}) {
    RunControl control(RunLimits{}, [](std::uint64_t) { return false; });
    control.cancel();
    const auto run = enumerate_concepts(context, WalkKind::kLcm, control, threads);
    ASSERT_FALSE(run.has_value());
    EXPECT_EQ(run.error(), RunStop::kCancelled);
  }
}

// mushroom in FIMI form (one line per object, its item numbers), when the
// machine has it: the same concepts as FCbO at a few supports.
TEST(Lcm, MushroomAgreesWithFcbo) {
  const std::filesystem::path path = "/work/shared/data/mushroom.dat";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
  std::ifstream in(path);
  Rows rows;
  std::uint32_t attributes = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream items(line);
    auto& row = rows.emplace_back();
    for (std::uint32_t item = 0; items >> item;) {
      if (std::find(row.begin(), row.end(), item) == row.end()) row.push_back(item);
      attributes = std::max(attributes, item + 1);
    }
  }
  const core::Context context = testing::context_from_rows(static_cast<std::uint32_t>(rows.size()), attributes, rows);
  for (const std::uint64_t min_support : {std::uint64_t{4000}, std::uint64_t{2000}, std::uint64_t{1000}}) {
    RunControl fcbo_control(RunLimits{min_support});
    const auto fcbo = sorted_records(enumerate_concepts(context, WalkKind::kFcboAscending, fcbo_control, 1).value());
    RunControl control(RunLimits{min_support});
    const core::ConceptList lcm = enumerate_concepts(context, WalkKind::kLcm, control, 1).value();
    EXPECT_EQ(sorted_records(lcm), fcbo) << min_support;
    RunControl threaded_control(RunLimits{min_support});
    EXPECT_TRUE(enumerate_concepts(context, WalkKind::kLcm, threaded_control, 2).value() == lcm) << min_support;
  }
  EXPECT_EQ(lcm_algorithm().name(), "lcm");
}

}  // namespace
}  // namespace tessara::engine
