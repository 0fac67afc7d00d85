#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/engine/canonical_base.hpp"
#include "tessara/engine/implication_calculus.hpp"
#include "tessara/engine/implication_closure.hpp"

namespace tessara::engine {
namespace {

using Word = ImplicationList::Word;
using Set = std::vector<Word>;

ImplicationList random_list(std::mt19937& rng, std::uint64_t n, std::size_t count) {
  ImplicationList list(n);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t k = 0; k < count; ++k) {
    Set premise(list.stride, 0);
    Set conclusion(list.stride, 0);
    const double premise_density = unit(rng) * 0.3;
    const double conclusion_density = unit(rng) * 0.4;
    for (std::uint64_t m = 0; m < n; ++m) {
      if (unit(rng) < premise_density) premise[m / 64] |= Word{1} << (m % 64);
      if (unit(rng) < conclusion_density) conclusion[m / 64] |= Word{1} << (m % 64);
    }
    list.append(premise, conclusion);
  }
  return list;
}

bool subset(const Word* a, const Word* b, std::size_t stride) {
  for (std::size_t w = 0; w < stride; ++w)
    if ((a[w] & ~b[w]) != 0) return false;
  return true;
}

// The closure by fixpoint iteration over the active implications.
Set fixpoint(const ImplicationList& list, Set set, const std::vector<bool>& active) {
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (!active[k] || !subset(list.premise(k).data(), set.data(), list.stride)) continue;
      for (std::size_t w = 0; w < list.stride; ++w) {
        const Word grown = set[w] | list.conclusion(k)[w];
        changed = changed || grown != set[w];
        set[w] = grown;
      }
    }
  }
  return set;
}

class ImplicationCalculus : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ImplicationCalculus, ClosureEqualsFixpointWithSwitchedOffImplicationsAndTargets) {
  const std::uint64_t n = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(n + 1));
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int round = 0; round < 20; ++round) {
    const ImplicationList list = random_list(rng, n, static_cast<std::size_t>(rng() % 40));
    ImplicationClosure closure(list);
    std::vector<bool> active(list.size(), true);
    for (std::size_t k = 0; k < list.size(); ++k)
      if (unit(rng) < 0.2) {
        active[k] = false;
        closure.set_active(k, false);
      }
    for (int probe = 0; probe < 20; ++probe) {
      Set set(list.stride, 0);
      for (std::uint64_t m = 0; m < n; ++m)
        if (unit(rng) < 0.1) set[m / 64] |= Word{1} << (m % 64);
      const Set expected = fixpoint(list, set, active);
      Set found = set;
      ASSERT_TRUE(closure.close(found));
      ASSERT_EQ(found, expected) << "round " << round << " probe " << probe;
      // With a target the answer is whether the closure holds it.
      Set target(list.stride, 0);
      for (std::uint64_t m = 0; m < n; ++m)
        if (unit(rng) < 0.05) target[m / 64] |= Word{1} << (m % 64);
      Set partial = set;
      ASSERT_EQ(closure.close(partial, {.target = target}), subset(target.data(), expected.data(), list.stride));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, ImplicationCalculus, ::testing::Values(0, 1, 5, 9, 63, 64, 65, 130));

// The canonical base computed from the implications alone equals the one of a
// context whose intents are their closed sets; the minimum cover is as small.
TEST(ImplicationCalculusBases, CanonicalBaseEqualsTheContextsOfTheClosedSets) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    const std::uint64_t n = rng() % 9;
    const ImplicationList list = random_list(rng, n, rng() % 12);
    const auto sets = implication_calculus::closed_sets(list, 1u << 10);
    ASSERT_TRUE(sets.has_value());
    const std::size_t count = n == 0 ? 1 : sets->size() / list.stride;
    // Every closed set once: the subsets equal to their fixpoint closure.
    std::size_t brute = 0;
    for (Word mask = 0; mask < (Word{1} << n); ++mask)
      if (fixpoint(list, n == 0 ? Set{} : Set{mask}, std::vector<bool>(list.size(), true)) ==
          (n == 0 ? Set{} : Set{mask}))
        ++brute;
    ASSERT_EQ(count, brute);
    testing::Rows rows(count, std::vector<bool>(n, false));
    for (std::size_t g = 0; g < count && n != 0; ++g)
      for (std::uint64_t m = 0; m < n; ++m) rows[g][m] = (((*sets)[g] >> m) & 1u) != 0;
    const auto expected = engine::canonical_base(testing::context_from_rows(rows, n));
    const auto found = implication_calculus::canonical_base(list);
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), expected.size()) << "round " << round;
    for (std::size_t k = 0; k < expected.size(); ++k) {
      ASSERT_TRUE(std::equal(found->premise(k).begin(), found->premise(k).end(), expected[k].premise.words().begin()));
      ASSERT_TRUE(
          std::equal(found->conclusion(k).begin(), found->conclusion(k).end(), expected[k].conclusion.words().begin()));
    }
    const auto cover = implication_calculus::minimum_cover(list);
    ASSERT_TRUE(cover.has_value());
    ASSERT_EQ(cover->size(), expected.size());
    const auto holds = implication_calculus::holds_in(list, testing::context_from_rows(rows, n));
    for (const std::uint8_t h : holds) ASSERT_EQ(h, 1);
  }
}

}  // namespace
}  // namespace tessara::engine
