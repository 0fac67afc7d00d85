#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "tessara/core/extent_view.hpp"
#include "tessara/core/record_store.hpp"
#include "tessara/core/set_view.hpp"
#include "tessara/core/sets.hpp"

namespace tessara::core {

// One formal concept: intent = intent_of(extent) and extent = extent_of(intent).
struct Concept {
  ObjectSet extent;
  AttributeSet intent;
};

// A concept as stored in a ConceptList: views of its two sets.
struct ConceptView {
  ExtentView extent;
  IntentView intent;

  Concept to_concept() const { return Concept{extent.to_set(), intent.to_set()}; }
};

// The concepts of one context in the order they were appended, stored without
// a heap allocation per concept. Each concept is one record: a header, its
// intent, then its extent, each set in the form that takes fewer words,
// packed words or a list of members (SetCoding). The header holds the size of
// the extent when some extent may be a list (more than 448 objects), then the
// size of the intent when some intent may be (more than 448 attributes). Most
// extents of a large context are small, and so are most intents of a wide
// sparse one, so a concept costs about what it holds. With few objects and
// few attributes every set is packed, and a record is just the intent and
// extent words, all records of one length. Read the sets through the views
// (operator[], extent(i), intent(i)) or the helpers that take them: their
// layout differs from record to record. The capacities are fixed by the
// constructor or, for a list made empty, by the first concept appended.
class ConceptList {
 public:
  using Word = std::uint64_t;

  ConceptList() = default;
  // With a recycler, the list's full chunks come from it and go back to it
  // when the list is freed (a stream's batches); a copy never shares it.
  ConceptList(std::uint64_t n_objects, std::uint64_t n_attributes,
              const std::shared_ptr<ChunkRecycler>& recycler = nullptr)
      : intents_(n_attributes),
        extents_(n_objects),
        extent_header_(extents_.may_list() ? 1 : 0),
        header_words_(extent_header_ + (intents_.may_list() ? 1 : 0)),
        shaped_(true),
        records_(header_words_ != 0 ? RecordStore(recycler)
                                    : RecordStore(intents_.packed_words() + extents_.packed_words(), recycler)) {}
  // Convenience for building a list from owning concepts (tests, small callers).
  explicit ConceptList(const std::vector<Concept>& concepts) {
    for (const Concept& c : concepts) push_back(c);
  }

  ConceptList(const ConceptList& other) { copy_from(other); }
  ConceptList& operator=(const ConceptList& other) {
    if (this != &other) {
      ConceptList copy(other);
      *this = std::move(copy);
    }
    return *this;
  }
  // A moved-from list is empty and unshaped.
  ConceptList(ConceptList&& other) noexcept { take_from(other); }
  ConceptList& operator=(ConceptList&& other) noexcept {
    if (this != &other) take_from(other);
    return *this;
  }

  std::size_t size() const noexcept { return records_.size(); }
  // The bytes of the chunks its records lie in.
  std::size_t chunk_bytes() const noexcept { return records_.chunk_bytes(); }
  bool empty() const noexcept { return records_.size() == 0; }
  std::uint64_t n_objects() const noexcept { return extents_.capacity(); }
  std::uint64_t n_attributes() const noexcept { return intents_.capacity(); }
  // The words of an extent as packed words (what extent_into writes).
  std::size_t extent_stride() const noexcept { return extents_.packed_words(); }
  // The words of an intent as packed words (what intent_into writes).
  std::size_t intent_stride() const noexcept { return intents_.packed_words(); }
  // Whether some intent may be stored as a list: when not, every intent can
  // be read in place as packed words (packed_intent_words).
  bool may_list_intents() const noexcept { return intents_.may_list(); }

  // The packed words of the intent of concept i, in place; only for a list
  // that stores every intent packed (!may_list_intents()). Readers that take
  // any list go through intent(i), intent_into or PackedIntents.
  std::span<const Word> packed_intent_words(std::size_t i) const {
    if (intents_.may_list()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    return std::span<const Word>(records_[i] + header_words_, intents_.packed_words());
  }

  // The number of objects in the extent of concept i.
  std::uint64_t extent_size(std::size_t i) const { return extent_size_in(records_[i]); }
  // The number of attributes in the intent of concept i.
  std::uint64_t intent_size(std::size_t i) const { return intent_size_in(records_[i]); }
  // The extent of concept i, whichever form it is stored in.
  ExtentView extent(std::size_t i) const { return extent_in(records_[i]); }
  // The intent of concept i, whichever form it is stored in.
  IntentView intent(std::size_t i) const { return intent_in(records_[i]); }
  // Writes the extent of concept i as packed words (extent_stride() of them) into out.
  void extent_into(std::size_t i, std::span<Word> out) const { extent(i).write_words(out); }
  // Writes the intent of concept i as packed words (intent_stride() of them) into out.
  void intent_into(std::size_t i, std::span<Word> out) const { intent(i).write_words(out); }
  // Calls visit(g) for every object g of the extent of concept i, ascending.
  template <typename Visit>
  void for_each_extent_member(std::size_t i, Visit&& visit) const {
    extent(i).for_each_member(std::forward<Visit>(visit));
  }
  // Calls visit(m) for every attribute m of the intent of concept i, ascending.
  template <typename Visit>
  void for_each_intent_member(std::size_t i, Visit&& visit) const {
    intent(i).for_each_member(std::forward<Visit>(visit));
  }

  ConceptView operator[](std::size_t i) const {
    const Word* record = records_[i];
    return ConceptView{extent_in(record), intent_in(record)};
  }

  // Appends one concept given by its words (extent_stride() and intent_stride() words).
  void append(std::span<const Word> extent, std::span<const Word> intent) {
    if (extent.size() != extents_.packed_words()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    append_spanning(0, extent, intent);
  }

  // Appends one concept whose extent has members only in `extent_words`,
  // which are its packed words from word `first_word` on (all its other
  // words are zero), and whose intent has intent_stride() words. Kept out of
  // line: inlined into a walk's inner loop it costs the loop more than the call.
  [[gnu::noinline]] void append_spanning(std::size_t first_word, std::span<const Word> extent_words, std::span<const Word> intent) {
    if (!shaped_ || intent.size() != intents_.packed_words() ||
        first_word + extent_words.size() > extents_.packed_words())
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    // The size decides the stored form; with packed extents only, it is not kept.
    const std::uint64_t count = extent_header_ != 0 ? count_bits(extent_words) : 0;
    Word* extent = start_record(intent, count);
    extents_.encode(first_word, extent_words, count, extent);
  }

  // Appends one concept whose extent is `members` (objects, ascending) and
  // whose intent has intent_stride() words; stored exactly as append would
  // store the same extent given as words.
  [[gnu::noinline]] void append_members(std::span<const std::uint32_t> members, std::span<const Word> intent) {
    if (!shaped_ || intent.size() != intents_.packed_words()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    Word* extent = start_record(intent, members.size());
    extents_.encode_members(members, extent);
  }

  // Appends one concept whose extent is `members` (objects, ascending) and
  // whose intent is `intent_members` (attributes, ascending), for a walk that
  // holds both as lists; stored exactly as append would store them.
  void append_lists(std::span<const std::uint32_t> members, std::span<const std::uint32_t> intent_members) {
    if (!shaped_) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    Word* record = records_.append(header_words_ + intents_.stored_words(intent_members.size()) +
                                   extents_.stored_words(members.size()));
    write_header(record, members.size(), intent_members.size());
    intents_.encode_members(intent_members, record + header_words_);
    extents_.encode_members(members, record + header_words_ + intents_.stored_words(intent_members.size()));
  }

  // Appends concept i of `other`, a list of the same capacities, as it is stored there.
  void append_from(const ConceptList& other, std::size_t i) {
    if (!shaped_ || other.n_objects() != n_objects() || other.n_attributes() != n_attributes())
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    const Word* record = other.records_[i];
    const std::size_t words = record_words(record);
    std::copy(record, record + words, records_.append(words));
  }

  // Appends the concepts of `other`, a list of the same capacities, by
  // taking over its chunks: no record is copied. `other` is left empty.
  // Neither list may have given concepts back (release_before).
  void splice_back(ConceptList&& other) {
    if (other.empty()) return;
    if (empty()) {
      if (shaped_ && (other.n_objects() != n_objects() || other.n_attributes() != n_attributes()))
        throw InternalFault(fault_text::kSetCapacitiesDiffer);
      *this = std::move(other);
      return;
    }
    if (other.n_objects() != n_objects() || other.n_attributes() != n_attributes())
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    records_.splice_back(std::move(other.records_));
    other = ConceptList();
  }

  void push_back(const Concept& c) {
    if (!shaped_) *this = ConceptList(c.extent.capacity(), c.intent.capacity());
    if (c.extent.capacity() != n_objects() || c.intent.capacity() != n_attributes())
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    append(c.extent.words(), c.intent.words());
  }

  void pop_back() { records_.pop_back(); }

  // Gives the memory of every chunk whose concepts all lie below `index` back
  // to the allocator, for a consumer that reads the list once from the front
  // and wants peak memory low. The concepts below `index` must not be read
  // afterwards: reading one is an internal fault.
  void release_before(std::size_t index) noexcept { records_.release_before(index); }

  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = ConceptView;
    using difference_type = std::ptrdiff_t;
    using reference = ConceptView;
    using pointer = void;

    Iterator() = default;
    Iterator(const ConceptList* list, std::size_t index) : list_(list), index_(index) {}
    ConceptView operator*() const { return (*list_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++index_;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.index_ == b.index_; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) noexcept {
      return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
    }

   private:
    const ConceptList* list_ = nullptr;
    std::size_t index_ = 0;
  };

  Iterator begin() const noexcept { return Iterator(this, 0); }
  Iterator end() const noexcept { return Iterator(this, size()); }

  // Equal concepts have equal records (the stored forms follow from the
  // sets' sizes), so records are compared word by word.
  friend bool operator==(const ConceptList& a, const ConceptList& b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    if (a.n_objects() != b.n_objects() || a.n_attributes() != b.n_attributes()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const Word* x = a.records_[i];
      const Word* y = b.records_[i];
      if (a.extent_size_in(x) != b.extent_size_in(y) || a.intent_size_in(x) != b.intent_size_in(y) ||
          !std::equal(x, x + a.record_words(x), y))
        return false;
    }
    return true;
  }

 private:
  // A record: the sizes (of the sets that may be lists), the intent, the extent.
  std::uint64_t extent_size_in(const Word* record) const {
    if (extent_header_ != 0) return record[0];
    return count_bits(std::span<const Word>(record + header_words_ + intent_words_in(record), extents_.packed_words()));
  }
  std::uint64_t intent_size_in(const Word* record) const {
    if (intents_.may_list()) return record[extent_header_];
    return count_bits(std::span<const Word>(record + header_words_, intents_.packed_words()));
  }
  // The words the intent of a record takes.
  std::size_t intent_words_in(const Word* record) const {
    return intents_.may_list() ? intents_.stored_words(record[extent_header_]) : intents_.packed_words();
  }
  IntentView intent_in(const Word* record) const {
    return intents_.view(record + header_words_, intent_size_in(record));
  }
  ExtentView extent_in(const Word* record) const {
    return extents_.view(record + header_words_ + intent_words_in(record), extent_size_in(record));
  }
  std::size_t record_words(const Word* record) const {
    return header_words_ + intent_words_in(record) + extents_.stored_words(extent_header_ != 0 ? record[0] : 0);
  }

  void write_header(Word* record, std::uint64_t extent_count, std::uint64_t intent_count) const noexcept {
    if (extent_header_ != 0) record[0] = extent_count;
    if (intents_.may_list()) record[extent_header_] = intent_count;
  }

  // Adds a record for a concept with an extent of `extent_count` objects and
  // the packed `intent`, writes its header and intent, and returns where its
  // extent goes.
  Word* start_record(std::span<const Word> intent, std::uint64_t extent_count) {
    if (!intents_.may_list()) {
      Word* record = records_.append(header_words_ + intents_.packed_words() + extents_.stored_words(extent_count));
      write_header(record, extent_count, 0);
      std::copy(intent.begin(), intent.end(), record + header_words_);
      return record + header_words_ + intents_.packed_words();
    }
    IntentCoding::collect_members(intent, intent_members_);
    const std::size_t intent_words = intents_.stored_words(intent_members_.size());
    Word* record = records_.append(header_words_ + intent_words + extents_.stored_words(extent_count));
    write_header(record, extent_count, intent_members_.size());
    if (intents_.lists(intent_members_.size())) {
      intents_.encode_members(intent_members_, record + header_words_);
    } else {
      std::copy(intent.begin(), intent.end(), record + header_words_);
    }
    return record + header_words_ + intent_words;
  }

  void take_from(ConceptList& other) noexcept {
    intents_ = std::exchange(other.intents_, IntentCoding());
    extents_ = std::exchange(other.extents_, ExtentCoding());
    extent_header_ = std::exchange(other.extent_header_, 0);
    header_words_ = std::exchange(other.header_words_, 0);
    shaped_ = std::exchange(other.shaped_, false);
    records_ = std::move(other.records_);
  }

  void copy_from(const ConceptList& other) {
    intents_ = other.intents_;
    extents_ = other.extents_;
    extent_header_ = other.extent_header_;
    header_words_ = other.header_words_;
    shaped_ = other.shaped_;
    records_ = header_words_ != 0 ? RecordStore() : RecordStore(intents_.packed_words() + extents_.packed_words());
    for (std::size_t i = 0; i < other.size(); ++i) append_from(other, i);
  }

  IntentCoding intents_;
  ExtentCoding extents_;
  std::size_t extent_header_ = 0;  // 1 when the header holds the extent's size
  std::size_t header_words_ = 0;
  bool shaped_ = false;
  RecordStore records_;
  std::vector<std::uint32_t> intent_members_;  // scratch: the members of an intent being appended
};

// One Hasse-diagram edge between positions of ConceptLattice::concepts.
struct CoverEdge {
  std::uint32_t lower;  // the covered concept (smaller extent)
  std::uint32_t upper;  // the covering concept (larger extent)

  friend bool operator==(const CoverEdge&, const CoverEdge&) = default;
};

// Every concept of a context exactly once, in the order the producing algorithm
// found them (never re-sorted). cover_cache is filled at most once, by the
// covering relation, the first time the lattice is drawn.
struct ConceptLattice {
  ConceptList concepts;
  std::optional<std::vector<CoverEdge>> cover_cache;
};

// premise -> conclusion of the canonical base. The conclusion is the whole
// closure of the premise; support counts the objects holding the premise.
struct Implication {
  AttributeSet premise;
  AttributeSet conclusion;
  std::uint64_t support;
  double confidence;
};

}  // namespace tessara::core
