#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/popcount.hpp"

namespace tessara::core {

// A table of equally wide packed sets, one per index, all in one array: the
// columns or the rows of an incidence relation.
class PackedSets {
 public:
  using Word = std::uint64_t;

  PackedSets(std::size_t count, std::uint64_t capacity)
      : count_(count),
        capacity_(capacity),
        stride_(ObjectSet::word_count(capacity)),
        words_(count * stride_, Word{0}) {}

  std::size_t size() const noexcept { return count_; }
  std::uint64_t capacity() const noexcept { return capacity_; }
  std::size_t stride() const noexcept { return stride_; }

  // Precondition: i < size().
  std::span<const Word> operator[](std::size_t i) const noexcept {
    return std::span<const Word>(words_.data() + i * stride_, stride_);
  }
  std::span<Word> mutable_set(std::size_t i) noexcept { return std::span<Word>(words_.data() + i * stride_, stride_); }

  // The same relation read the other way: set j of the result holds i exactly
  // when set i of this table holds j.
  PackedSets transposed() const;

 private:
  std::size_t count_;
  std::uint64_t capacity_;
  std::size_t stride_;
  std::vector<Word> words_;
};

// The incidence of the context whose complete concept lattice `concepts` is,
// read back from the concepts alone: the column of attribute m is the largest
// extent whose intent holds m (the extent of m's attribute concept), so one
// pass over the intents recovers every column. Precondition: `concepts` holds
// every concept of one context (the bottom concept names every attribute).
PackedSets attribute_columns_of(const ConceptList& concepts);

// The columns of the context itself: set m holds the objects having attribute m.
PackedSets attribute_columns_of(const Context& context);

}  // namespace tessara::core
