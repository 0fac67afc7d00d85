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

#include "tessara/core/chunk_memory.hpp"
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
// a heap allocation per set. Each concept is one record of extent words
// followed by intent words (fixed strides). Records sit in chunks that double
// from about 4 KiB up to 2 MiB and then stay at that size, so growth never
// copies what is stored, a small list stays small and a large one lives on
// huge pages. The capacities are fixed by the constructor or, for a list made
// empty, by the first concept appended. splice_back joins lists without
// copying a record: the joined list keeps the first record index of each
// chunk and finds a record's chunk by binary search; it takes no further
// appends.
class ConceptList {
 public:
  using Word = std::uint64_t;

  // The writable words of a record just added; the caller fills both spans.
  struct Slot {
    std::span<Word> extent;
    std::span<Word> intent;
  };

  ConceptList() = default;
  ConceptList(std::uint64_t n_objects, std::uint64_t n_attributes)
      : n_objects_(n_objects),
        n_attributes_(n_attributes),
        extent_stride_(ObjectSet::word_count(n_objects)),
        intent_stride_(AttributeSet::word_count(n_attributes)),
        record_words_(extent_stride_ + intent_stride_),
        full_shift_(full_chunk_shift(record_words_)),
        first_shift_(full_shift_ > kGrowthSteps ? full_shift_ - kGrowthSteps : 0),
        shaped_(true) {}
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

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::uint64_t n_objects() const noexcept { return n_objects_; }
  std::uint64_t n_attributes() const noexcept { return n_attributes_; }
  std::size_t extent_stride() const noexcept { return extent_stride_; }
  std::size_t intent_stride() const noexcept { return intent_stride_; }

  std::span<const Word> extent_words(std::size_t i) const { return std::span<const Word>(record(i), extent_stride_); }
  std::span<const Word> intent_words(std::size_t i) const {
    return std::span<const Word>(record(i) + extent_stride_, intent_stride_);
  }

  // The number of objects in the extent of concept i.
  std::uint64_t extent_size(std::size_t i) const { return count_bits(extent_words(i)); }
  // Writes the extent of concept i as packed words (extent_stride() of them) into out.
  void extent_into(std::size_t i, std::span<Word> out) const {
    if (out.size() != extent_stride_) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    const auto words = extent_words(i);
    std::copy(words.begin(), words.end(), out.begin());
  }
  // Calls visit(g) for every object g of the extent of concept i, ascending.
  template <typename Visit>
  void for_each_extent_member(std::size_t i, Visit&& visit) const {
    for_each_bit(extent_words(i), std::forward<Visit>(visit));
  }

  ConceptView operator[](std::size_t i) const {
    const Word* words = record(i);
    return ConceptView{ObjectSetView(std::span<const Word>(words, extent_stride_), n_objects_),
                       AttributeSetView(std::span<const Word>(words + extent_stride_, intent_stride_), n_attributes_)};
  }

  // Adds one record and hands out its words to be filled (their contents are
  // undefined until then). Precondition: the list has its capacities.
  Slot append_slot() {
    if (!shaped_ || !starts_.empty()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    const Place place = place_of(size_);
    if (place.chunk == chunks_.size()) chunks_.push_back(allocate_chunk(record_words_ << chunk_shift(place.chunk)));
    Word* words = chunks_[place.chunk].get() + place.offset * record_words_;
    ++size_;
    return Slot{std::span<Word>(words, extent_stride_), std::span<Word>(words + extent_stride_, intent_stride_)};
  }

  // Appends one concept given by its words (extent_stride() and intent_stride() words).
  void append(std::span<const Word> extent, std::span<const Word> intent) {
    if (!shaped_ || extent.size() != extent_stride_ || intent.size() != intent_stride_)
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    const Slot slot = append_slot();
    std::copy(extent.begin(), extent.end(), slot.extent.begin());
    std::copy(intent.begin(), intent.end(), slot.intent.begin());
  }

  void push_back(const Concept& c) {
    if (!shaped_) *this = ConceptList(c.extent.capacity(), c.intent.capacity());
    if (c.extent.capacity() != n_objects_ || c.intent.capacity() != n_attributes_)
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    append(c.extent.words(), c.intent.words());
  }

  void pop_back() {
    if (size_ == 0 || !starts_.empty() || size_ <= chunk_start(released_))
      throw InternalFault(fault_text::kIndexOutOfRange);
    --size_;
    const Place place = place_of(size_);
    if (place.offset == 0) chunks_.resize(place.chunk);
  }

  void reserve(std::size_t concepts) {
    if (shaped_ && starts_.empty() && concepts > 0) chunks_.reserve(place_of(concepts - 1).chunk + 1);
  }

  // Gives the memory of every chunk whose concepts all lie below `index` back
  // to the allocator, for a consumer that reads the list once from the front
  // and wants peak memory low. Those concepts must not be read afterwards:
  // reading one is an internal fault.
  void release_before(std::size_t index) noexcept {
    const std::size_t end = std::min(index, size_);
    while (released_ < chunks_.size() && start_of(released_ + 1) <= end) chunks_[released_++].reset();
  }

  // Appends the concepts of `other` (of the same capacities) after this
  // list's by taking over its chunks: nothing is copied. `other` is left
  // empty. Neither list may have released chunks.
  void splice_back(ConceptList&& other) {
    if (other.size_ == 0) return;
    if (size_ == 0) {
      *this = std::move(other);
      return;
    }
    if (other.n_objects_ != n_objects_ || other.n_attributes_ != n_attributes_)
      throw InternalFault(fault_text::kSetCapacitiesDiffer);
    if (released_ != 0 || other.released_ != 0) throw InternalFault(fault_text::kIndexOutOfRange);
    if (starts_.empty())
      for (std::size_t c = 0; c < chunks_.size(); ++c) starts_.push_back(chunk_start(c));
    for (std::size_t c = 0; c < other.chunks_.size(); ++c) {
      starts_.push_back(size_ + other.start_of(c));
      chunks_.push_back(std::move(other.chunks_[c]));
    }
    size_ += other.size_;
    other = ConceptList();
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

  friend bool operator==(const ConceptList& a, const ConceptList& b) {
    if (a.size_ != b.size_) return false;
    if (a.size_ == 0) return true;
    if (a.n_objects_ != b.n_objects_ || a.n_attributes_ != b.n_attributes_) return false;
    for (std::size_t i = 0; i < a.size_; ++i) {
      const Word* x = a.record(i);
      const Word* y = b.record(i);
      if (!std::equal(x, x + a.record_words_, y)) return false;
    }
    return true;
  }

 private:
  // A full chunk holds a power of two of records taking about 2 MiB; the
  // first ones are 2, 4, 8, ... times smaller, kGrowthSteps of them.
  static constexpr std::size_t kFullChunkWords = kHugeChunkBytes / sizeof(Word);
  static constexpr unsigned kGrowthSteps = 9;
  static unsigned full_chunk_shift(std::size_t record_words) noexcept {
    unsigned shift = 0;
    while (shift < 18 && (record_words << (shift + 1)) <= kFullChunkWords) ++shift;
    return shift;
  }
  unsigned growth_steps() const noexcept { return full_shift_ - first_shift_; }
  unsigned chunk_shift(std::size_t chunk) const noexcept {
    return first_shift_ + static_cast<unsigned>(std::min<std::size_t>(chunk, growth_steps()));
  }
  // The index of the first record of a chunk.
  std::size_t chunk_start(std::size_t chunk) const noexcept {
    const std::size_t growing = std::min<std::size_t>(chunk, growth_steps());
    return (((std::size_t{1} << growing) - 1) << first_shift_) + ((chunk - growing) << full_shift_);
  }

  // The index of the first record of a chunk, also of a joined list (and
  // size() for the chunk after the last).
  std::size_t start_of(std::size_t chunk) const noexcept {
    if (starts_.empty()) return chunk_start(chunk);
    return chunk < starts_.size() ? starts_[chunk] : size_;
  }

  struct Place {
    std::size_t chunk;
    std::size_t offset;
  };
  Place place_of(std::size_t i) const noexcept {
    if (!starts_.empty()) {
      const auto after = std::upper_bound(starts_.begin(), starts_.end(), i);
      const auto chunk = static_cast<std::size_t>(after - starts_.begin()) - 1;
      return Place{chunk, i - starts_[chunk]};
    }
    const std::size_t growing_records = chunk_start(growth_steps());
    if (i < growing_records) {
      const auto chunk = static_cast<std::size_t>(std::bit_width((i >> first_shift_) + 1) - 1);
      return Place{chunk, i - chunk_start(chunk)};
    }
    const std::size_t beyond = i - growing_records;
    return Place{growth_steps() + (beyond >> full_shift_), beyond & ((std::size_t{1} << full_shift_) - 1)};
  }

  const Word* record(std::size_t i) const {
    if (i >= size_) throw InternalFault(fault_text::kIndexOutOfRange);
    const Place place = place_of(i);
    if (place.chunk < released_) throw InternalFault(fault_text::kIndexOutOfRange);
    return chunks_[place.chunk].get() + place.offset * record_words_;
  }

  void take_from(ConceptList& other) noexcept {
    n_objects_ = std::exchange(other.n_objects_, 0);
    n_attributes_ = std::exchange(other.n_attributes_, 0);
    extent_stride_ = std::exchange(other.extent_stride_, 0);
    intent_stride_ = std::exchange(other.intent_stride_, 0);
    record_words_ = std::exchange(other.record_words_, 0);
    full_shift_ = std::exchange(other.full_shift_, 0);
    first_shift_ = std::exchange(other.first_shift_, 0);
    shaped_ = std::exchange(other.shaped_, false);
    size_ = std::exchange(other.size_, 0);
    released_ = std::exchange(other.released_, 0);
    chunks_ = std::move(other.chunks_);
    other.chunks_.clear();
    starts_ = std::move(other.starts_);
    other.starts_.clear();
  }

  void copy_from(const ConceptList& other) {
    n_objects_ = other.n_objects_;
    n_attributes_ = other.n_attributes_;
    extent_stride_ = other.extent_stride_;
    intent_stride_ = other.intent_stride_;
    record_words_ = other.record_words_;
    full_shift_ = other.full_shift_;
    first_shift_ = other.first_shift_;
    shaped_ = other.shaped_;
    released_ = 0;
    size_ = 0;
    starts_.clear();
    chunks_.clear();
    for (std::size_t i = 0; i < other.size_; ++i) {
      const Word* words = other.record(i);
      const Slot slot = append_slot();
      std::copy(words, words + record_words_, slot.extent.data());
    }
  }

  std::uint64_t n_objects_ = 0;
  std::uint64_t n_attributes_ = 0;
  std::size_t extent_stride_ = 0;
  std::size_t intent_stride_ = 0;
  std::size_t record_words_ = 0;
  unsigned full_shift_ = 0;   // log2 of the records in a full chunk
  unsigned first_shift_ = 0;  // log2 of the records in the first chunk
  bool shaped_ = false;
  std::size_t size_ = 0;
  std::size_t released_ = 0;  // chunks given back by release_before
  std::vector<ChunkMemory> chunks_;
  std::vector<std::size_t> starts_;  // a joined list's first record index per chunk; empty otherwise
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
