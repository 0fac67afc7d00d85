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
  AttributeSetView intent;

  Concept to_concept() const { return Concept{extent.to_set(), intent.to_set()}; }
};

// The concepts of one context in the order they were appended, stored without
// a heap allocation per concept. Each concept is one record: the size of its
// extent, its intent as packed words, then its extent in the form that takes
// fewer words, packed words or a list of objects (ExtentCoding). Most extents
// of a large context are small, so a concept costs about what it holds. With
// few objects every extent is packed, and a record is just the intent and
// extent words, all records of one length. Read extents through extent_size,
// extent_into, for_each_extent_member or extent(i) only: their layout differs
// from record to record. The capacities are fixed by the constructor or, for
// a list made empty, by the first concept appended.
class ConceptList {
 public:
  using Word = std::uint64_t;

  ConceptList() = default;
  // With a recycler, the list's full chunks come from it and go back to it
  // when the list is freed (a stream's batches); a copy never shares it.
  ConceptList(std::uint64_t n_objects, std::uint64_t n_attributes,
              const std::shared_ptr<ChunkRecycler>& recycler = nullptr)
      : n_attributes_(n_attributes),
        intent_stride_(AttributeSet::word_count(n_attributes)),
        extents_(n_objects),
        header_words_(extents_.may_list() ? 1 : 0),
        shaped_(true),
        records_(extents_.may_list() ? RecordStore(recycler)
                                     : RecordStore(intent_stride_ + extents_.packed_words(), recycler)) {}
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
  bool empty() const noexcept { return records_.size() == 0; }
  std::uint64_t n_objects() const noexcept { return extents_.n_objects(); }
  std::uint64_t n_attributes() const noexcept { return n_attributes_; }
  // The words of an extent as packed words (what extent_into writes).
  std::size_t extent_stride() const noexcept { return extents_.packed_words(); }
  std::size_t intent_stride() const noexcept { return intent_stride_; }

  std::span<const Word> intent_words(std::size_t i) const {
    return std::span<const Word>(records_[i] + header_words_, intent_stride_);
  }

  // The number of objects in the extent of concept i.
  std::uint64_t extent_size(std::size_t i) const { return size_in(records_[i]); }
  // The extent of concept i, whichever form it is stored in.
  ExtentView extent(std::size_t i) const { return extent_in(records_[i]); }
  // Writes the extent of concept i as packed words (extent_stride() of them) into out.
  void extent_into(std::size_t i, std::span<Word> out) const { extent(i).write_words(out); }
  // Calls visit(g) for every object g of the extent of concept i, ascending.
  template <typename Visit>
  void for_each_extent_member(std::size_t i, Visit&& visit) const {
    extent(i).for_each_member(std::forward<Visit>(visit));
  }

  ConceptView operator[](std::size_t i) const {
    const Word* record = records_[i];
    return ConceptView{extent_in(record),
                       AttributeSetView(std::span<const Word>(record + header_words_, intent_stride_), n_attributes_)};
  }

  // Appends one concept given by its words (extent_stride() and intent_stride() words).
  void append(std::span<const Word> extent, std::span<const Word> intent) {
    if (extent.size() != extents_.packed_words()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    append_spanning(0, extent, intent);
  }

  // Appends one concept whose extent has members only in `extent_words`,
  // which are its packed words from word `first_word` on (all its other
  // words are zero), and whose intent has intent_stride() words.
  void append_spanning(std::size_t first_word, std::span<const Word> extent_words, std::span<const Word> intent) {
    if (!shaped_ || intent.size() != intent_stride_ || first_word + extent_words.size() > extents_.packed_words())
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    // The size decides the stored form; with packed extents only, it is not kept.
    const std::uint64_t count = header_words_ != 0 ? count_bits(extent_words) : 0;
    Word* record = records_.append(header_words_ + intent_stride_ + extents_.stored_words(count));
    if (header_words_ != 0) record[0] = count;
    for (std::size_t w = 0; w < intent_stride_; ++w) record[header_words_ + w] = intent[w];
    extents_.encode(first_word, extent_words, count, record + header_words_ + intent_stride_);
  }

  // Appends one concept whose extent is `members` (objects, ascending) and
  // whose intent has intent_stride() words; stored exactly as append would
  // store the same extent given as words.
  void append_members(std::span<const std::uint32_t> members, std::span<const Word> intent) {
    if (!shaped_ || intent.size() != intent_stride_) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    const std::uint64_t count = members.size();
    Word* record = records_.append(header_words_ + intent_stride_ + extents_.stored_words(count));
    if (header_words_ != 0) record[0] = count;
    for (std::size_t w = 0; w < intent_stride_; ++w) record[header_words_ + w] = intent[w];
    extents_.encode_members(members, record + header_words_ + intent_stride_);
  }

  // Appends concept i of `other`, a list of the same capacities, as it is stored there.
  void append_from(const ConceptList& other, std::size_t i) {
    if (!shaped_ || other.n_objects() != n_objects() || other.n_attributes_ != n_attributes_)
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
      if (shaped_ && (other.n_objects() != n_objects() || other.n_attributes_ != n_attributes_))
        throw InternalFault(fault_text::kSetCapacitiesDiffer);
      *this = std::move(other);
      return;
    }
    if (other.n_objects() != n_objects() || other.n_attributes_ != n_attributes_)
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    records_.splice_back(std::move(other.records_));
    other = ConceptList();
  }

  void push_back(const Concept& c) {
    if (!shaped_) *this = ConceptList(c.extent.capacity(), c.intent.capacity());
    if (c.extent.capacity() != n_objects() || c.intent.capacity() != n_attributes_)
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

  // Equal concepts have equal records (the stored form follows from the
  // extent's size), so records are compared word by word.
  friend bool operator==(const ConceptList& a, const ConceptList& b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    if (a.n_objects() != b.n_objects() || a.n_attributes_ != b.n_attributes_) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const Word* x = a.records_[i];
      const Word* y = b.records_[i];
      if (a.size_in(x) != b.size_in(y) || !std::equal(x, x + a.record_words(x), y)) return false;
    }
    return true;
  }

 private:
  // A record: the extent's size (when some extent may be a list), the intent, the extent.
  std::uint64_t size_in(const Word* record) const {
    if (header_words_ != 0) return record[0];
    return count_bits(std::span<const Word>(record + intent_stride_, extents_.packed_words()));
  }
  ExtentView extent_in(const Word* record) const {
    return extents_.view(record + header_words_ + intent_stride_, size_in(record));
  }
  std::size_t record_words(const Word* record) const {
    return header_words_ + intent_stride_ + extents_.stored_words(header_words_ != 0 ? record[0] : 0);
  }

  void take_from(ConceptList& other) noexcept {
    n_attributes_ = std::exchange(other.n_attributes_, 0);
    intent_stride_ = std::exchange(other.intent_stride_, 0);
    extents_ = std::exchange(other.extents_, ExtentCoding());
    header_words_ = std::exchange(other.header_words_, 0);
    shaped_ = std::exchange(other.shaped_, false);
    records_ = std::move(other.records_);
  }

  void copy_from(const ConceptList& other) {
    n_attributes_ = other.n_attributes_;
    intent_stride_ = other.intent_stride_;
    extents_ = other.extents_;
    header_words_ = other.header_words_;
    shaped_ = other.shaped_;
    records_ = extents_.may_list() ? RecordStore() : RecordStore(intent_stride_ + extents_.packed_words());
    for (std::size_t i = 0; i < other.size(); ++i) append_from(other, i);
  }

  std::uint64_t n_attributes_ = 0;
  std::size_t intent_stride_ = 0;
  ExtentCoding extents_;
  std::size_t header_words_ = 0;
  bool shaped_ = false;
  RecordStore records_;
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
