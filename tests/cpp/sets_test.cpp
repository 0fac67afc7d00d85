#include "tessara/core/sets.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fault_support.hpp"
#include "fca_oracle.hpp"

namespace tessara::core {

namespace {

using testing::set_of;

// A reference set: std::set plus the capacity, built alongside the packed one.
struct Reference {
  std::uint64_t capacity;
  std::set<std::uint32_t> members;
};

std::pair<ObjectSet, Reference> random_set(std::mt19937& rng, std::uint64_t capacity) {
  ObjectSet set = ObjectSet::empty(capacity);
  Reference reference{capacity, {}};
  if (capacity == 0) return {set, reference};
  std::uniform_int_distribution<std::uint32_t> index(0, static_cast<std::uint32_t>(capacity - 1));
  std::uniform_int_distribution<std::uint64_t> how_many(0, capacity + 3);
  for (std::uint64_t k = how_many(rng); k > 0; --k) {
    const std::uint32_t i = index(rng);
    set.insert(i);
    reference.members.insert(i);
  }
  return {set, reference};
}

// Capacities around word and 128-bit block boundaries.
class SetsAgainstReference : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(SetsAgainstReference, OperationsMatchTheDefinitions) {
  const std::uint64_t capacity = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(capacity) * 7919u + 1u);
  for (int round = 0; round < 60; ++round) {
    const auto [a, ra] = random_set(rng, capacity);
    const auto [b, rb] = random_set(rng, capacity);

    const std::vector<std::uint32_t> expected_members(ra.members.begin(), ra.members.end());
    EXPECT_EQ(a.members(), expected_members);
    EXPECT_EQ(a.count(), ra.members.size());
    EXPECT_EQ(a.capacity(), capacity);
    EXPECT_EQ(a.is_empty(), ra.members.empty());
    for (std::uint64_t i = 0; i < capacity + 70; ++i) EXPECT_EQ(a.contains(i), ra.members.count(i) == 1) << i;

    std::vector<std::uint32_t> both;
    std::set_intersection(ra.members.begin(), ra.members.end(), rb.members.begin(), rb.members.end(),
                          std::back_inserter(both));
    EXPECT_EQ(intersection(a, b).members(), both);
    EXPECT_EQ(is_subset(a, b),
              std::includes(rb.members.begin(), rb.members.end(), ra.members.begin(), ra.members.end()));
    EXPECT_EQ(a == b, ra.members == rb.members);
    EXPECT_TRUE(is_subset(intersection(a, b), a));
  }
}

TEST_P(SetsAgainstReference, FullHoldsEveryIndexBelowTheCapacityOnly) {
  const std::uint64_t capacity = GetParam();
  const AttributeSet full = AttributeSet::full(capacity);
  EXPECT_EQ(full.count(), capacity);
  for (std::uint64_t i = 0; i < capacity; ++i) ASSERT_TRUE(full.contains(i));
  EXPECT_FALSE(full.contains(capacity));
  EXPECT_TRUE(AttributeSet::empty(capacity).is_empty());
  EXPECT_EQ(full == AttributeSet::empty(capacity), capacity == 0);
}

INSTANTIATE_TEST_SUITE_P(Capacities, SetsAgainstReference,
                         ::testing::Values(0u, 1u, 2u, 63u, 64u, 65u, 127u, 128u, 129u, 200u));

TEST(Sets, MembersComeSmallestFirst) {
  EXPECT_EQ((set_of<ObjectSet>(10, {5, 1, 3}).members()), (std::vector<std::uint32_t>{1, 3, 5}));
  EXPECT_EQ((set_of<AttributeSet>(300, {299, 64, 0, 63}).members()), (std::vector<std::uint32_t>{0, 63, 64, 299}));
}

TEST(Sets, ContainsAtOrAboveTheCapacityIsFalse) {
  const ObjectSet set = ObjectSet::full(5);
  EXPECT_FALSE(set.contains(5));
  EXPECT_FALSE(set.contains(1u << 31));
  EXPECT_FALSE(ObjectSet::empty(0).contains(0));
}

TEST(Sets, EqualMembersButDifferentCapacitiesAreNotEqual) {
  EXPECT_FALSE((set_of<ObjectSet>(3, {1}) == set_of<ObjectSet>(4, {1})));
  EXPECT_FALSE(ObjectSet::empty(0) == ObjectSet::empty(1));
}

TEST(Sets, CopiesAreIndependent) {
  ObjectSet original = set_of<ObjectSet>(70, {1, 65});
  ObjectSet copy = original;
  copy.insert(2);
  EXPECT_EQ(original.members(), (std::vector<std::uint32_t>{1, 65}));
  EXPECT_EQ(copy.members(), (std::vector<std::uint32_t>{1, 2, 65}));
}

using tessara::testing::fault_of;

TEST(Sets, BrokenPreconditionsRaiseInternalFaults) {
  EXPECT_EQ(fault_of([] { (void)intersection(ObjectSet::empty(3), ObjectSet::empty(4)); }),
            "ObjectSets from different contexts cannot be intersected");
  EXPECT_EQ(fault_of([] { ObjectSet::empty(3).insert(3); }), fault_text::kIndexOutOfRange);
  EXPECT_EQ(fault_of([] { AttributeSet::empty(0).insert(0); }), fault_text::kIndexOutOfRange);
  EXPECT_EQ(fault_of([] { (void)is_subset(AttributeSet::empty(2), AttributeSet::empty(3)); }),
            fault_text::kSetCapacitiesDiffer);
  EXPECT_EQ(fault_of([] { (void)is_subset(ObjectSet::empty(64), ObjectSet::empty(65)); }),
            fault_text::kSetCapacitiesDiffer);
}

}  // namespace
}  // namespace tessara::core
