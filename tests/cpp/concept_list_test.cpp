// ConceptList across its chunk boundaries: what goes in comes out, copies and
// moves keep it, pop_back and release_before give memory back at the right place.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {
namespace {

using Word = ConceptList::Word;

// A record whose every word tells the concept and the word position apart.
void fill(const ConceptList::Slot& slot, std::size_t i) {
  for (std::size_t w = 0; w < slot.extent.size(); ++w) slot.extent[w] = i * 1000 + w;
  for (std::size_t w = 0; w < slot.intent.size(); ++w) slot.intent[w] = ~(i * 1000 + w);
}

bool holds(const ConceptList& list, std::size_t i) {
  const auto extent = list.extent_words(i);
  const auto intent = list.intent_words(i);
  for (std::size_t w = 0; w < extent.size(); ++w)
    if (extent[w] != i * 1000 + w) return false;
  for (std::size_t w = 0; w < intent.size(); ++w)
    if (intent[w] != ~(i * 1000 + w)) return false;
  return true;
}

struct ListShape {
  std::uint64_t objects;
  std::uint64_t attributes;
  std::size_t concepts;
};

class ConceptListChunks : public ::testing::TestWithParam<ListShape> {};

TEST_P(ConceptListChunks, KeepsEveryRecordThroughGrowthCopyAndShrinking) {
  const ListShape shape = GetParam();
  ConceptList list(shape.objects, shape.attributes);
  for (std::size_t i = 0; i < shape.concepts; ++i) fill(list.append_slot(), i);
  ASSERT_EQ(list.size(), shape.concepts);
  for (std::size_t i = 0; i < shape.concepts; ++i) ASSERT_TRUE(holds(list, i)) << i;

  const ConceptList copy = list;
  EXPECT_TRUE(copy == list);
  ConceptList moved = std::move(list);
  EXPECT_TRUE(moved == copy);
  EXPECT_EQ(list.size(), 0u);  // NOLINT(bugprone-use-after-move): a moved-from list is empty

  for (std::size_t kept = shape.concepts; kept-- > 0;) {
    moved.pop_back();
    ASSERT_EQ(moved.size(), kept);
    if (kept > 0) {
      ASSERT_TRUE(holds(moved, kept - 1)) << kept;
    }
  }
  for (std::size_t i = 0; i < 3; ++i) fill(moved.append_slot(), i);
  EXPECT_TRUE(holds(moved, 2));
}

TEST_P(ConceptListChunks, ReleasedConceptsCannotBeReadAndTheRestStay) {
  const ListShape shape = GetParam();
  ConceptList list(shape.objects, shape.attributes);
  for (std::size_t i = 0; i < shape.concepts; ++i) fill(list.append_slot(), i);
  for (std::size_t i = 0; i < shape.concepts; ++i) {
    ASSERT_TRUE(holds(list, i)) << i;  // nothing at or after i has been given back
    list.release_before(i + 1);
  }
  list.release_before(shape.concepts);
  EXPECT_THROW(static_cast<void>(list.extent_words(0)), InternalFault);
}

// Lists of many sizes joined without copying read back as one list, copy
// and compare like one, and give their memory back from the front.
TEST_P(ConceptListChunks, SplicedListsReadAsOne) {
  const ListShape shape = GetParam();
  const std::size_t parts[] = {0, 1, shape.concepts / 3, 0, 7, shape.concepts};
  ConceptList joined(shape.objects, shape.attributes);
  std::size_t total = 0;
  for (const std::size_t part : parts) {
    ConceptList piece(shape.objects, shape.attributes);
    for (std::size_t i = 0; i < part; ++i) fill(piece.append_slot(), total + i);
    total += part;
    joined.splice_back(std::move(piece));
    EXPECT_EQ(piece.size(), 0u);  // NOLINT(bugprone-use-after-move): splicing empties the piece
  }
  ASSERT_EQ(joined.size(), total);
  ConceptList appended(shape.objects, shape.attributes);
  for (std::size_t i = 0; i < total; ++i) {
    ASSERT_TRUE(holds(joined, i)) << i;
    fill(appended.append_slot(), i);
  }
  EXPECT_TRUE(joined == appended);
  const ConceptList copy = joined;
  EXPECT_TRUE(copy == appended);
  EXPECT_THROW(static_cast<void>(joined.append_slot()), InternalFault);
  for (std::size_t i = 0; i < total; ++i) {
    ASSERT_TRUE(holds(joined, i)) << i;
    joined.release_before(i + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ConceptListChunks,
                         ::testing::Values(ListShape{0, 0, 3000}, ListShape{1, 1, 2000}, ListShape{129, 65, 5000},
                                           ListShape{1000, 3, 9000}, ListShape{300'000, 1, 20}));

}  // namespace
}  // namespace tessara::core
