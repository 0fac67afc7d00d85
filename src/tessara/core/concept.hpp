#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

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
  ObjectSetView extent;
  AttributeSetView intent;

  Concept to_concept() const { return Concept{extent.to_set(), intent.to_set()}; }
};

// The concepts of one context in the order they were appended, stored without
// a heap allocation per set: the extent words of all concepts in one array and
// the intent words in another, each concept taking a fixed stride in both.
// The capacities are fixed by the constructor or, for a list made empty, by
// the first concept appended.
class ConceptList {
 public:
  using Word = std::uint64_t;

  ConceptList() = default;
  ConceptList(std::uint64_t n_objects, std::uint64_t n_attributes)
      : n_objects_(n_objects),
        n_attributes_(n_attributes),
        extent_stride_(ObjectSet::word_count(n_objects)),
        intent_stride_(AttributeSet::word_count(n_attributes)),
        shaped_(true) {}
  // Convenience for building a list from owning concepts (tests, small callers).
  explicit ConceptList(const std::vector<Concept>& concepts) {
    for (const Concept& c : concepts) push_back(c);
  }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::uint64_t n_objects() const noexcept { return n_objects_; }
  std::uint64_t n_attributes() const noexcept { return n_attributes_; }
  std::size_t extent_stride() const noexcept { return extent_stride_; }
  std::size_t intent_stride() const noexcept { return intent_stride_; }

  std::span<const Word> extent_words(std::size_t i) const {
    check(i);
    return std::span<const Word>(extents_.data() + i * extent_stride_, extent_stride_);
  }
  std::span<const Word> intent_words(std::size_t i) const {
    check(i);
    return std::span<const Word>(intents_.data() + i * intent_stride_, intent_stride_);
  }

  ConceptView operator[](std::size_t i) const {
    return ConceptView{ObjectSetView(extent_words(i), n_objects_), AttributeSetView(intent_words(i), n_attributes_)};
  }

  // Appends one concept given by its words (extent_stride() and intent_stride() words).
  void append(std::span<const Word> extent, std::span<const Word> intent) {
    if (!shaped_ || extent.size() != extent_stride_ || intent.size() != intent_stride_)
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    extents_.insert(extents_.end(), extent.begin(), extent.end());
    intents_.insert(intents_.end(), intent.begin(), intent.end());
    ++size_;
  }

  void push_back(const Concept& c) {
    if (!shaped_) *this = ConceptList(c.extent.capacity(), c.intent.capacity());
    if (c.extent.capacity() != n_objects_ || c.intent.capacity() != n_attributes_)
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    append(c.extent.words(), c.intent.words());
  }

  void pop_back() {
    if (size_ == 0) throw InternalFault(fault_text::kIndexOutOfRange);
    --size_;
    extents_.resize(size_ * extent_stride_);
    intents_.resize(size_ * intent_stride_);
  }

  void reserve(std::size_t concepts) {
    extents_.reserve(concepts * extent_stride_);
    intents_.reserve(concepts * intent_stride_);
  }

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
  Iterator end() const noexcept { return Iterator(this, size_); }

  friend bool operator==(const ConceptList& a, const ConceptList& b) noexcept {
    return a.size_ == b.size_ && (a.size_ == 0 || (a.n_objects_ == b.n_objects_ && a.n_attributes_ == b.n_attributes_ &&
                                                   a.extents_ == b.extents_ && a.intents_ == b.intents_));
  }

 private:
  void check(std::size_t i) const {
    if (i >= size_) throw InternalFault(fault_text::kIndexOutOfRange);
  }

  std::uint64_t n_objects_ = 0;
  std::uint64_t n_attributes_ = 0;
  std::size_t extent_stride_ = 0;
  std::size_t intent_stride_ = 0;
  bool shaped_ = false;
  std::size_t size_ = 0;
  std::vector<Word> extents_;
  std::vector<Word> intents_;
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
