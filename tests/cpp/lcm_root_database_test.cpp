// The database an LCM walk starts from, built by one builder and on two
// threads, against a direct grouping of the rows; and whole runs whose start
// is built on two threads against the same runs on one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "tessara/engine/lcm_root_database.hpp"
#include "tessara/engine/walk_pool.hpp"

namespace tessara::engine {
namespace {

// Baskets of about 4 items over n_attributes, a tenth of them long (each
// item with probability `long_density`), some rows repeated (whole or all
// but their last item) and some left empty.
core::SparseIncidence random_baskets(std::uint32_t n_objects, std::uint32_t n_attributes, std::mt19937_64& random,
                                     double long_density = 0.8) {
  std::vector<std::uint64_t> offsets{0};
  std::vector<std::uint32_t> items;
  std::uniform_int_distribution<int> kind(0, 9);
  for (std::uint32_t g = 0; g < n_objects; ++g) {
    const int shape = kind(random);
    if (g > 0 && shape <= 2) {  // the row before, whole or less its last item
      std::vector<std::uint32_t> last(items.begin() + static_cast<std::ptrdiff_t>(offsets[g - 1]), items.end());
      if (shape == 2 && !last.empty()) last.pop_back();
      items.insert(items.end(), last.begin(), last.end());
    } else if (shape != 3 && n_attributes > 0) {  // shape 3: empty
      const double density = shape == 9 ? long_density : 4.0 / n_attributes;
      std::bernoulli_distribution member(std::min(1.0, density));
      for (std::uint32_t m = 0; m < n_attributes; ++m)
        if (member(random)) items.push_back(m);
    }
    offsets.push_back(items.size());
  }
  return core::SparseIncidence::from_rows(n_objects, n_attributes, std::move(offsets), std::move(items));
}

// A transaction as a value: items, weight and objects (sorted).
using Transaction = std::tuple<std::vector<std::uint32_t>, std::uint32_t, std::vector<std::uint32_t>>;

std::vector<Transaction> transactions_of(const LcmDatabase& db) {
  std::vector<Transaction> out;
  for (std::size_t t = 0; t < db.size(); ++t) {
    const auto items = db.items_of(t);
    const auto objects = db.objects_of(t);
    std::vector<std::uint32_t> members(objects.begin(), objects.end());
    std::sort(members.begin(), members.end());
    out.emplace_back(std::vector<std::uint32_t>(items.begin(), items.end()), db.weight[t], std::move(members));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The rows cut to their kept items, grouped by their items from `start` on;
// a group keeps below `start` what all its rows hold, and rows with nothing
// from `start` on are left out.
std::vector<Transaction> grouped(const LcmRootBuilder::Rows& rows) {
  std::map<std::vector<std::uint32_t>, Transaction> groups;
  for (const std::uint32_t g : rows.objects) {
    std::vector<std::uint32_t> below;
    std::vector<std::uint32_t> above;
    for (const std::uint32_t j : rows.data.row(g))
      if (rows.counts[j] >= rows.threshold) (j < rows.start ? below : above).push_back(j);
    if (above.empty()) continue;
    const auto [it, fresh] = groups.try_emplace(above, below, 0, std::vector<std::uint32_t>{});
    auto& [items, weight, objects] = it->second;
    if (!fresh) {
      std::vector<std::uint32_t> common;
      std::set_intersection(items.begin(), items.end(), below.begin(), below.end(), std::back_inserter(common));
      items = std::move(common);
    }
    ++weight;
    objects.push_back(g);
  }
  std::vector<Transaction> out;
  for (auto& [above, transaction] : groups) {
    std::get<0>(transaction).insert(std::get<0>(transaction).end(), above.begin(), above.end());
    out.push_back(std::move(transaction));
  }
  std::sort(out.begin(), out.end());
  return out;
}

class RootDatabase : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::uint32_t>> {};

TEST_P(RootDatabase, IsTheSameOnTwoThreadsAsTheRowsGrouped) {
  const auto [n_objects, n_attributes] = GetParam();
  std::mt19937_64 random(n_objects * 131 + n_attributes);
  LcmRootBuilder one;
  LcmRootBuilder two;  // kept across builds, as a walk keeps it
  LcmDatabase db_one;
  LcmDatabase db_two;
  for (int round = 0; round < 6; ++round) {
    const core::SparseIncidence incidence = random_baskets(n_objects, n_attributes, random);
    const LcmData data(incidence);
    // Every object, or a random part of them (a task's extent).
    std::vector<std::uint32_t> objects;
    std::bernoulli_distribution take(round % 2 == 0 ? 1.0 : 0.6);
    for (std::uint32_t g = 0; g < n_objects; ++g)
      if (take(random)) objects.push_back(g);
    // Counts over those objects, with a few items zeroed as an intent's are.
    std::vector<std::uint32_t> counts(data.n_items(), 0);
    for (const std::uint32_t g : objects)
      for (const std::uint32_t j : data.row(g)) ++counts[j];
    std::bernoulli_distribution in_intent(0.05);
    for (std::uint32_t& count : counts)
      if (in_intent(random)) count = 0;
    const std::uint32_t n_items = data.n_items();
    for (const std::uint32_t threshold : {1u, 2u, 3u, static_cast<std::uint32_t>(objects.size() / 4 + 1)}) {
      for (const std::uint32_t start : {0u, n_items / 3, n_items / 2 + 1, n_items}) {
        SCOPED_TRACE(::testing::Message() << "round " << round << ", threshold " << threshold << ", start " << start);
        const LcmRootBuilder::Rows rows{data, objects, counts, threshold, start};
        one.build(rows, false, db_one);
        two.build(rows, true, db_two);
        const std::vector<Transaction> expected = grouped(rows);
        ASSERT_EQ(transactions_of(db_one), expected) << "one builder";
        ASSERT_EQ(transactions_of(db_two), expected) << "two threads";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, RootDatabase,
                         ::testing::Combine(::testing::Values(0, 1, 2, 63, 64, 65, 129, 700),
                                            ::testing::Values(1, 2, 63, 64, 65, 129)));

// Whole runs on a basket file large enough that a run with two threads builds
// its start (the renamed rows and the first database) on two: the concepts and
// their order are those of one thread, at every threshold.
TEST(RootDatabase, RunsStartedOnTwoThreadsListWhatOneThreadLists) {
  std::mt19937_64 random(2027);
  const core::SparseIncidence incidence = random_baskets(90'000, 300, random, 0.03);
  ASSERT_GE(incidence.nnz(), LcmData::kSplitFrom);
  for (const std::uint64_t min_support : {std::uint64_t{20}, std::uint64_t{300}, std::uint64_t{1'000}}) {
    SCOPED_TRACE(min_support);
    RunControl sequential_control(RunLimits{min_support});
    WalkPool sequential(incidence, sequential_control, WalkPool::Options{1});
    const core::ConceptList expected = sequential.finish().value();
    EXPECT_GT(expected.size(), 1u);
    RunControl control(RunLimits{min_support});
    WalkPool pool(incidence, control, WalkPool::Options{2});
    EXPECT_TRUE(pool.finish().value() == expected);
  }
}

}  // namespace
}  // namespace tessara::engine
