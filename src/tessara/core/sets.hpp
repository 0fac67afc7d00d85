#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "tessara/core/fault.hpp"
#include "tessara/core/popcount.hpp"

namespace tessara::core {

// A fixed-capacity set of 32-bit indices stored as packed 64-bit words: index i
// lives in word i / 64 at bit i % 64. Bits at or above the capacity are always
// zero, so word-wise comparisons and population counts need no masking.
// The Tag parameter keeps object sets and attribute sets apart as types.
template <typename Tag>
class IndexSet {
 public:
  using Word = std::uint64_t;
  static constexpr std::uint64_t kWordBits = 64;

  IndexSet() = default;

  static IndexSet empty(std::uint64_t capacity) { return IndexSet(capacity); }

  static IndexSet full(std::uint64_t capacity) {
    IndexSet set(capacity);
    for (Word& word : set.words_) word = ~Word{0};
    set.clear_tail();
    return set;
  }

  static constexpr std::uint64_t word_count(std::uint64_t capacity) noexcept {
    return (capacity + kWordBits - 1) / kWordBits;
  }

  void insert(std::uint32_t index) {
    if (index >= capacity_) throw InternalFault(fault_text::kIndexOutOfRange);
    words_[index / kWordBits] |= Word{1} << (index % kWordBits);
  }

  bool contains(std::uint64_t index) const noexcept {
    return index < capacity_ && ((words_[index / kWordBits] >> (index % kWordBits)) & 1u) != 0;
  }

  std::uint64_t capacity() const noexcept { return capacity_; }

  std::uint64_t count() const noexcept { return count_bits(words_); }

  bool is_empty() const noexcept { return no_bits(words_); }

  // Calls visit(index) for every member, smallest index first.
  template <typename Visit>
  void for_each_member(Visit&& visit) const {
    for_each_bit(words_, std::forward<Visit>(visit));
  }

  // The members in ascending order.
  std::vector<std::uint32_t> members() const {
    std::vector<std::uint32_t> out;
    out.reserve(count());
    for_each_member([&out](std::uint32_t index) { out.push_back(index); });
    return out;
  }

  std::span<const Word> words() const noexcept { return words_; }

  // Word access for word-parallel algorithms. Callers must keep the bits at or
  // above the capacity zero.
  std::span<Word> mutable_words() noexcept { return words_; }

  // this &= other, word by word.
  void intersect_with(const IndexSet& other) {
    require_same_capacity(other);
    for (std::size_t w = 0; w < words_.size(); ++w) words_[w] &= other.words_[w];
  }

  friend bool operator==(const IndexSet& a, const IndexSet& b) noexcept {
    return a.capacity_ == b.capacity_ && a.words_ == b.words_;
  }

  void require_same_capacity(const IndexSet& other) const {
    if (capacity_ != other.capacity_) throw InternalFault(fault_text::kSetCapacitiesDiffer);
  }

 private:
  explicit IndexSet(std::uint64_t capacity) : capacity_(capacity), words_(word_count(capacity), Word{0}) {}

  void clear_tail() noexcept {
    const std::uint64_t used = capacity_ % kWordBits;
    if (used != 0) words_.back() &= (Word{1} << used) - 1;
  }

  std::uint64_t capacity_ = 0;
  std::vector<Word> words_;
};

// True when every member of a is a member of b. Both sets must share a capacity.
template <typename Tag>
bool is_subset(const IndexSet<Tag>& a, const IndexSet<Tag>& b) {
  a.require_same_capacity(b);
  const auto aw = a.words();
  const auto bw = b.words();
  for (std::size_t w = 0; w < aw.size(); ++w)
    if ((aw[w] & ~bw[w]) != 0) return false;
  return true;
}

struct ObjectTag {};
struct AttributeTag {};

using ObjectSet = IndexSet<ObjectTag>;
using AttributeSet = IndexSet<AttributeTag>;

// The objects in both a and b. Both sets must come from the same context.
inline ObjectSet intersection(const ObjectSet& a, const ObjectSet& b) {
  if (a.capacity() != b.capacity()) throw InternalFault(fault_text::kObjectSetsDiffer);
  ObjectSet out = a;
  out.intersect_with(b);
  return out;
}

}  // namespace tessara::core
