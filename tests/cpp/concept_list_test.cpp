// ConceptList across its chunk boundaries and both stored forms of an extent
// and of an intent (packed words, list of members of 16 or 32 bits): what
// goes in comes out through every accessor, copies, moves and splices keep
// it, pop_back and release_before give memory back at the right place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/packed_intents.hpp"

namespace tessara::core {
namespace {

using Word = ConceptList::Word;

// Concept i of a test list: its extent takes every 2^(i % 12)-th object from
// an offset, its intent every 2^((i / 5) % 13)-th attribute from another, so
// sizes run from every member down to none and both stored forms of each set
// occur in every combination.
Concept concept_at(std::uint64_t objects, std::uint64_t attributes, std::size_t i) {
  Concept c{ObjectSet::empty(objects), AttributeSet::empty(attributes)};
  const std::uint64_t step = std::uint64_t{1} << (i % 12);
  for (std::uint64_t g = (i * 7) % step; g < objects; g += step) c.extent.insert(static_cast<std::uint32_t>(g));
  const std::uint64_t intent_step = std::uint64_t{1} << ((i / 5) % 13);
  for (std::uint64_t m = (i * 11) % intent_step; m < attributes; m += intent_step)
    c.intent.insert(static_cast<std::uint32_t>(m));
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
  std::vector<std::uint32_t> attributes;
  list.for_each_intent_member(i, [&](std::uint32_t m) { attributes.push_back(m); });
  return list.extent_size(i) == expected.extent.count() && list.extent(i) == expected.extent &&
         list[i].extent == expected.extent && std::ranges::equal(unpacked, expected.extent.words()) &&
         visited == expected.extent.members() && list[i].intent == expected.intent &&
         list.intent(i) == expected.intent && list.intent_size(i) == expected.intent.count() &&
         attributes == expected.intent.members() && std::ranges::equal(intent, expected.intent.words());
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
  std::size_t listed_intents = 0;
  for (std::size_t i = 0; i < shape.concepts; ++i) {
    ASSERT_TRUE(holds(list, i)) << i;
    listed += list.extent(i).is_listed() ? 1 : 0;
    listed_intents += list.intent(i).is_listed() ? 1 : 0;
  }
  // Below eight words of members every set is packed; from there on both forms occur.
  if (shape.objects <= 448) {
    EXPECT_EQ(listed, 0u);
  } else {
    EXPECT_TRUE(listed > 0 && listed < shape.concepts) << listed;
  }
  if (shape.attributes <= 448) {
    EXPECT_EQ(listed_intents, 0u);
  } else {
    EXPECT_TRUE(listed_intents > 0 && listed_intents < shape.concepts) << listed_intents;
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
                                           ListShape{65'537, 2, 300}, ListShape{300'000, 1, 20},
                                           ListShape{2, 448, 700}, ListShape{127, 449, 3000},
                                           ListShape{500, 1000, 3000}, ListShape{3, 65'536, 300},
                                           ListShape{70, 65'537, 300}, ListShape{1000, 200'000, 100}));

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

// A random intent over `attributes`: empty, full, the last attribute alone,
// or each attribute kept with a chance that makes lists and packed words
// both occur.
AttributeSet random_intent(std::mt19937& rng, std::uint64_t attributes) {
  AttributeSet intent = AttributeSet::empty(attributes);
  const unsigned kind = rng() % 8;
  if (kind == 0 || attributes == 0) return intent;
  if (kind == 1) return AttributeSet::full(attributes);
  if (kind == 2) {
    intent.insert(static_cast<std::uint32_t>(attributes - 1));
    return intent;
  }
  const double chance = kind == 3 ? 0.5 : 1.0 / static_cast<double>(std::uint64_t{1} << (rng() % 12));
  std::bernoulli_distribution keep(chance);
  for (std::uint64_t m = 0; m < attributes; ++m)
    if (keep(rng)) intent.insert(static_cast<std::uint32_t>(m));
  return intent;
}

class IntentForms : public ::testing::TestWithParam<std::uint64_t> {};

// Every way of appending an intent (packed words, from a list of members)
// stores the same record, and every reader (members, size, look-ups,
// subsets, packed words, PackedIntents) gives what brute force on the
// owning sets gives, whichever form the intent took.
TEST_P(IntentForms, EveryWriterAndReaderAgreeWithTheOwningSets) {
  const std::uint64_t attributes = GetParam();
  const std::uint64_t objects = 70;
  std::mt19937 rng(static_cast<unsigned>(attributes) * 7 + 1);
  std::vector<Concept> concepts;
  for (std::size_t i = 0; i < 150; ++i) {
    Concept c = concept_at(objects, 0, i);
    concepts.push_back(Concept{c.extent, random_intent(rng, attributes)});
  }
  ConceptList by_words(objects, attributes);
  ConceptList by_spans(objects, attributes);
  ConceptList by_members(objects, attributes);
  ConceptList by_lists(objects, attributes);
  for (const Concept& c : concepts) {
    by_words.push_back(c);
    by_spans.append_spanning(0, c.extent.words(), c.intent.words());
    by_members.append_members(c.extent.members(), c.intent.words());
    by_lists.append_lists(c.extent.members(), c.intent.members());
  }
  EXPECT_TRUE(by_words == by_spans);
  EXPECT_TRUE(by_words == by_members);
  EXPECT_TRUE(by_words == by_lists);
  EXPECT_TRUE(ConceptList(by_lists) == by_words);

  const PackedIntents packed(by_lists);
  std::vector<Word> words(by_lists.intent_stride());
  std::size_t listed = 0;
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    const AttributeSet& intent = concepts[i].intent;
    const IntentView view = by_lists.intent(i);
    listed += view.is_listed() ? 1 : 0;
    ASSERT_EQ(view.count(), intent.count()) << i;
    ASSERT_EQ(view.members(), intent.members()) << i;
    ASSERT_TRUE(view == intent) << i;
    ASSERT_EQ(view.to_set(), intent) << i;
    by_lists.intent_into(i, words);
    ASSERT_TRUE(std::ranges::equal(words, intent.words())) << i;
    ASSERT_TRUE(std::ranges::equal(packed[i], intent.words())) << i;
    for (std::uint64_t m = 0; m < attributes + 2; m += 1 + attributes / 97)
      ASSERT_EQ(view.contains(m), m < attributes && intent.contains(static_cast<std::uint32_t>(m))) << i << " " << m;
    if (attributes > 0) {
      const auto last = static_cast<std::uint32_t>(attributes - 1);
      ASSERT_EQ(view.contains(last), intent.contains(last)) << i;
    }
    for (std::size_t j = i % 7; j < concepts.size(); j += 7) {
      const AttributeSet& other = concepts[j].intent;
      bool inside = true;
      for (std::size_t w = 0; w < other.words().size(); ++w) inside = inside && (intent.words()[w] & ~other.words()[w]) == 0;
      ASSERT_EQ(view.is_subset_of(by_lists.intent(j)), inside) << i << " " << j;
      ASSERT_EQ(view.is_subset_of(by_words.intent(j)), inside) << i << " " << j;
    }
  }
  EXPECT_EQ(by_lists.may_list_intents(), attributes > 448);
  if (attributes <= 448) {
    EXPECT_EQ(listed, 0u);
    EXPECT_TRUE(std::ranges::equal(by_lists.packed_intent_words(0), concepts[0].intent.words()));
  } else {
    EXPECT_GT(listed, 0u);
    EXPECT_THROW(static_cast<void>(by_lists.packed_intent_words(0)), InternalFault);
  }

  // One attribute more or less tells two lists apart, whatever the forms.
  for (std::size_t i = 0; i < concepts.size(); i += 13) {
    if (attributes == 0) break;
    AttributeSet changed = concepts[i].intent;
    const auto m = static_cast<std::uint32_t>(rng() % attributes);
    changed.mutable_words()[m / 64] ^= Word{1} << (m % 64);
    ConceptList other(objects, attributes);
    for (std::size_t j = 0; j < concepts.size(); ++j) {
      if (j == i) {
        other.append_lists(concepts[j].extent.members(), changed.members());
      } else {
        other.append_from(by_lists, j);
      }
    }
    ASSERT_FALSE(other == by_words) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Capacities, IntentForms,
                         ::testing::Values(0, 1, 63, 64, 65, 127, 128, 129, 448, 449, 512, 513, 4096, 65'536,
                                           65'537, 100'000));

}  // namespace
}  // namespace tessara::core
