// PackedSets::transposed against the straightforward bit-by-bit transpose, on
// tables of every shape that breaks word-parallel code.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "tessara/core/lattice_incidence.hpp"

namespace tessara::core {
namespace {

using Word = PackedSets::Word;

// A table of `count` sets over `capacity` elements, each member present with
// probability `density` (0 and 1 give the empty and the full table).
PackedSets random_table(std::size_t count, std::uint64_t capacity, double density, std::mt19937_64& random) {
  PackedSets table(count, capacity);
  std::bernoulli_distribution member(density);
  for (std::size_t i = 0; i < count; ++i)
    for (std::uint64_t j = 0; j < capacity; ++j)
      if (member(random)) table.mutable_set(i)[j / 64] |= Word{1} << (j % 64);
  return table;
}

bool holds(std::span<const Word> set, std::uint64_t j) { return ((set[j / 64] >> (j % 64)) & 1) != 0; }

// The reference: one bit at a time.
std::vector<std::vector<bool>> transposed_bits(const PackedSets& table) {
  std::vector<std::vector<bool>> out(table.capacity(), std::vector<bool>(table.size(), false));
  for (std::size_t i = 0; i < table.size(); ++i)
    for (std::uint64_t j = 0; j < table.capacity(); ++j) out[j][i] = holds(table[i], j);
  return out;
}

void expect_transpose_of(const PackedSets& table, const PackedSets& result) {
  ASSERT_EQ(result.size(), table.capacity());
  ASSERT_EQ(result.capacity(), table.size());
  const auto expected = transposed_bits(table);
  for (std::size_t j = 0; j < result.size(); ++j) {
    const auto set = result[j];
    for (std::uint64_t i = 0; i < result.capacity(); ++i) ASSERT_EQ(holds(set, i), expected[j][i]) << j << ", " << i;
    // No member past the capacity: the padding bits of the last word stay clear.
    if (result.capacity() % 64 != 0 && !set.empty()) {
      EXPECT_EQ(set.back() >> (result.capacity() % 64), Word{0}) << "set " << j;
    }
  }
}

class Transposed : public ::testing::TestWithParam<std::tuple<std::size_t, std::uint64_t>> {};

TEST_P(Transposed, MatchesBitByBitAtEveryDensity) {
  const auto [count, capacity] = GetParam();
  std::mt19937_64 random(count * 1000 + capacity);
  for (const double density : {0.0, 0.01, 0.2, 0.5, 0.97, 1.0}) {
    SCOPED_TRACE(density);
    const PackedSets table = random_table(count, capacity, density, random);
    const PackedSets result = table.transposed();
    expect_transpose_of(table, result);
    // Twice is the identity.
    const PackedSets back = result.transposed();
    ASSERT_EQ(back.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
      for (std::size_t w = 0; w < table.stride(); ++w) ASSERT_EQ(back[i][w], table[i][w]);
  }
}

INSTANTIATE_TEST_SUITE_P(WordBoundaries, Transposed,
                         ::testing::Combine(::testing::Values(0, 1, 2, 63, 64, 65, 127, 128, 129, 200),
                                            ::testing::Values(0, 1, 63, 64, 65, 127, 128, 129, 191)));

// One member in an otherwise empty table, at every corner of a block.
TEST(TransposedSingleMember, LandsWhereItBelongs) {
  for (const std::size_t i : {0, 1, 62, 63, 64, 65, 127, 128, 129})
    for (const std::uint64_t j : {0, 1, 31, 32, 63, 64, 65, 127, 128, 129}) {
      PackedSets table(130, 130);
      table.mutable_set(i)[j / 64] |= Word{1} << (j % 64);
      const PackedSets result = table.transposed();
      for (std::size_t x = 0; x < result.size(); ++x)
        for (std::uint64_t y = 0; y < result.capacity(); ++y)
          ASSERT_EQ(holds(result[x], y), x == j && y == i) << i << ", " << j;
    }
}

}  // namespace
}  // namespace tessara::core
