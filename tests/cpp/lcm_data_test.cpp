// LcmData's renaming and renamed rows against a direct construction: sort the
// attributes by frequency, rename every row and sort it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "tessara/engine/lcm_data.hpp"

namespace tessara::engine {
namespace {

// Rows of n_attributes items, each present with probability `density`, a few
// rows repeated and some left empty.
core::SparseIncidence random_incidence(std::uint32_t n_objects, std::uint32_t n_attributes, double density,
                                       std::mt19937_64& random) {
  std::bernoulli_distribution member(density);
  std::bernoulli_distribution repeat(0.1);
  std::vector<std::uint64_t> offsets{0};
  std::vector<std::uint32_t> items;
  for (std::uint32_t g = 0; g < n_objects; ++g) {
    if (g > 0 && repeat(random)) {
      const std::vector<std::uint32_t> last(items.begin() + static_cast<std::ptrdiff_t>(offsets[g - 1]), items.end());
      items.insert(items.end(), last.begin(), last.end());
    } else {
      for (std::uint32_t m = 0; m < n_attributes; ++m)
        if (member(random)) items.push_back(m);
    }
    offsets.push_back(items.size());
  }
  return core::SparseIncidence::from_rows(n_objects, n_attributes, std::move(offsets), std::move(items));
}

class LcmDataRows : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::uint32_t>> {};

TEST_P(LcmDataRows, AreTheRowsRenamedByFrequencyAndSorted) {
  const auto [n_objects, n_attributes] = GetParam();
  std::mt19937_64 random(n_objects * 7919 + n_attributes);
  for (const double density : {0.0, 0.02, 0.3, 0.9, 1.0}) {
    SCOPED_TRACE(density);
    const core::SparseIncidence incidence = random_incidence(n_objects, n_attributes, density, random);
    const LcmData sequential(incidence);
    // Renamed in two halves on two threads (from any size): the same rows.
    const LcmData data(incidence, 2, 0);
    // Items by ascending frequency, ties by attribute.
    std::vector<std::uint32_t> attribute_of(n_attributes);
    std::iota(attribute_of.begin(), attribute_of.end(), 0u);
    std::stable_sort(attribute_of.begin(), attribute_of.end(), [&](std::uint32_t a, std::uint32_t b) {
      return incidence.column(a).size() < incidence.column(b).size();
    });
    std::vector<std::uint32_t> item_of(n_attributes);
    for (std::uint32_t item = 0; item < n_attributes; ++item) item_of[attribute_of[item]] = item;
    ASSERT_EQ(data.n_objects(), n_objects);
    ASSERT_EQ(data.n_items(), n_attributes);
    for (std::uint32_t item = 0; item < n_attributes; ++item) {
      ASSERT_EQ(data.attribute_of(item), attribute_of[item]);
      ASSERT_EQ(data.item_of(attribute_of[item]), item);
    }
    bool full = false;
    for (std::uint32_t g = 0; g < n_objects; ++g) {
      std::vector<std::uint32_t> expected;
      for (const std::uint32_t m : incidence.row(g)) expected.push_back(item_of[m]);
      std::sort(expected.begin(), expected.end());
      const auto row = data.row(g);
      ASSERT_EQ(std::vector<std::uint32_t>(row.begin(), row.end()), expected) << "row " << g;
      const auto alone = sequential.row(g);
      ASSERT_EQ(std::vector<std::uint32_t>(alone.begin(), alone.end()), expected) << "row " << g << ", one thread";
      full = full || expected.size() == n_attributes;
    }
    EXPECT_EQ(data.some_row_full(), full);
    EXPECT_EQ(sequential.some_row_full(), full);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, LcmDataRows,
                         ::testing::Combine(::testing::Values(0, 1, 2, 63, 64, 65, 129, 300),
                                            ::testing::Values(0, 1, 2, 63, 64, 65, 128, 129)));

}  // namespace
}  // namespace tessara::engine
