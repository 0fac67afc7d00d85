// ConceptList across its chunk boundaries and both stored forms of an extent
// (packed words, list of objects of 16 or 32 bits): what goes in comes out
// through every accessor, copies, moves and splices keep it, pop_back and
// release_before give memory back at the right place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {
namespace {

using Word = ConceptList::Word;

// Concept i of a test list: its extent takes every 2^(i % 12)-th object from
// an offset, so sizes run from every object down to none and both stored
// forms occur; its intent every third attribute from an offset.
Concept concept_at(std::uint64_t objects, std::uint64_t attributes, std::size_t i) {
  Concept c{ObjectSet::empty(objects), AttributeSet::empty(attributes)};
  const std::uint64_t step = std::uint64_t{1} << (i % 12);
  for (std::uint64_t g = (i * 7) % step; g < objects; g += step) c.extent.insert(static_cast<std::uint32_t>(g));
  for (std::uint64_t m = i % 3; m < attributes; m += 3) c.intent.insert(static_cast<std::uint32_t>(m));
  return c;
}

// Appends concept i, alternately as whole words and as the words between its
// first and last member.
void append_concept(ConceptList& list, std::size_t i) {
  const Concept c = concept_at(list.n_objects(), list.n_attributes(), i);
  const auto words = c.extent.words();
  std::size_t first = 0;
  std::size_t end = words.size();
  if (i % 2 == 1) {
    while (first < end && words[first] == 0) ++first;
    while (end > first && words[end - 1] == 0) --end;
  }
  list.append_spanning(first, words.subspan(first, end - first), c.intent.words());
}

// Whether every accessor reads concept i back as appended.
bool holds(const ConceptList& list, std::size_t i) {
  const Concept expected = concept_at(list.n_objects(), list.n_attributes(), i);
  std::vector<Word> unpacked(list.extent_stride());
  list.extent_into(i, unpacked);
  std::vector<std::uint32_t> visited;
  list.for_each_extent_member(i, [&](std::uint32_t g) { visited.push_back(g); });
  std::vector<Word> intent(list.intent_stride());
  list.intent_into(i, intent);
  return list.extent_size(i) == expected.extent.count() && list.extent(i) == expected.extent &&
         list[i].extent == expected.extent && std::ranges::equal(unpacked, expected.extent.words()) &&
         visited == expected.extent.members() && list[i].intent == expected.intent &&
         std::ranges::equal(intent, expected.intent.words());
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
  for (std::size_t i = 0; i < shape.concepts; ++i) append_concept(list, i);
  ASSERT_EQ(list.size(), shape.concepts);
  std::size_t listed = 0;
  for (std::size_t i = 0; i < shape.concepts; ++i) {
    ASSERT_TRUE(holds(list, i)) << i;
    listed += list.extent(i).is_listed() ? 1 : 0;
  }
  // Below eight words of objects every extent is packed; from there on both forms occur.
  if (shape.objects <= 448) {
    EXPECT_EQ(listed, 0u);
  } else {
    EXPECT_TRUE(listed > 0 && listed < shape.concepts) << listed;
  }

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
  for (std::size_t i = 0; i < 3; ++i) append_concept(moved, i);
  EXPECT_TRUE(holds(moved, 2));
}

TEST_P(ConceptListChunks, ReleasedConceptsCannotBeReadAndTheRestStay) {
  const ListShape shape = GetParam();
  ConceptList list(shape.objects, shape.attributes);
  for (std::size_t i = 0; i < shape.concepts; ++i) append_concept(list, i);
  for (std::size_t i = 0; i < shape.concepts; ++i) {
    ASSERT_TRUE(holds(list, i)) << i;  // nothing at or after i has been given back
    list.release_before(i + 1);
  }
  list.release_before(shape.concepts);
  EXPECT_THROW(static_cast<void>(list.extent_size(0)), InternalFault);
  EXPECT_THROW(static_cast<void>(list.intent(shape.concepts - 1)), InternalFault);
  append_concept(list, shape.concepts);  // a spent list still takes new concepts
  EXPECT_TRUE(holds(list, shape.concepts));
}

// Lists joined without copying read back as one list, compare and copy like
// one, keep taking concepts, and give their memory back from the front.
TEST_P(ConceptListChunks, SplicedListsReadAsOne) {
  const ListShape shape = GetParam();
  const std::size_t parts[] = {0, 1, shape.concepts / 3, 0, 7, shape.concepts};
  ConceptList joined(shape.objects, shape.attributes);
  ConceptList whole(shape.objects, shape.attributes);
  std::size_t total = 0;
  const auto add = [&](ConceptList& list, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, ++total) {
      append_concept(list, total);
      append_concept(whole, total);
    }
  };
  for (const std::size_t part : parts) {
    ConceptList piece(shape.objects, shape.attributes);
    add(piece, part);
    joined.splice_back(std::move(piece));
    EXPECT_EQ(piece.size(), 0u);  // NOLINT(bugprone-use-after-move): splicing empties the piece
  }
  add(joined, 5);
  ASSERT_EQ(joined.size(), total);
  for (std::size_t i = 0; i < total; ++i) ASSERT_TRUE(holds(joined, i)) << i;
  EXPECT_TRUE(joined == whole);
  EXPECT_TRUE(ConceptList(joined) == whole);
  joined.pop_back();
  ASSERT_EQ(joined.size(), total - 1);
  for (std::size_t i = 0; i + 1 < total; ++i) {
    ASSERT_TRUE(holds(joined, i)) << i;
    joined.release_before(i + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ConceptListChunks,
                         ::testing::Values(ListShape{0, 0, 3000}, ListShape{1, 1, 2000}, ListShape{64, 63, 700},
                                           ListShape{65, 64, 700}, ListShape{129, 65, 5000}, ListShape{448, 2, 700},
                                           ListShape{449, 128, 700}, ListShape{513, 129, 700},
                                           ListShape{1000, 3, 9000}, ListShape{65'536, 2, 300},
                                           ListShape{65'537, 2, 300}, ListShape{300'000, 1, 20}));

// The same members compare equal whichever form holds them, and one object
// more or less tells two extents apart.
TEST(ExtentForms, CompareByMembers) {
  for (const std::uint64_t objects : {449u, 2000u, 70'000u}) {
    ConceptList list(objects, 1);
    ObjectSet few = ObjectSet::empty(objects);
    for (const std::uint32_t g : {0u, 64u}) few.insert(g);
    const AttributeSet intent = AttributeSet::empty(1);
    list.push_back(Concept{few, intent});
    ASSERT_TRUE(list.extent(0).is_listed()) << objects;

    const ExtentView packed(few.words().data(), few.count(), objects, 0);
    EXPECT_TRUE(list.extent(0) == packed) << objects;
    ObjectSet more = few;
    more.insert(1);
    const ExtentView packed_more(more.words().data(), more.count(), objects, 0);
    EXPECT_FALSE(list.extent(0) == packed_more) << objects;
    EXPECT_FALSE(list.extent(0) == more) << objects;

    ConceptList other(objects, 1);
    other.push_back(Concept{more, intent});
    EXPECT_FALSE(list == other) << objects;
    other.pop_back();
    other.append_spanning(1, few.words().subspan(1, 1), intent.words());
    EXPECT_FALSE(list == other) << objects;  // object 64 alone
    other.pop_back();
    other.append_spanning(0, few.words().subspan(0, 2), intent.words());
    EXPECT_TRUE(list == other) << objects;
  }
}

}  // namespace
}  // namespace tessara::core
