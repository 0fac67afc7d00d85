#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "tessara/core/popcount.hpp"
#include "tessara/core/sets.hpp"

namespace tessara::core {

// A read-only look at the packed words of a set stored elsewhere (a concept
// in a ConceptList, a set of the walk). Same word layout and the same
// zero-tail guarantee as IndexSet; it owns nothing and must not outlive the
// storage it looks at.
template <typename Tag>
class SetView {
 public:
  using Word = std::uint64_t;

  SetView() = default;
  SetView(std::span<const Word> words, std::uint64_t capacity) noexcept : words_(words), capacity_(capacity) {}
  // Every IndexSet can be looked at as a view.
  SetView(const IndexSet<Tag>& set) noexcept : words_(set.words()), capacity_(set.capacity()) {}  // NOLINT

  std::uint64_t capacity() const noexcept { return capacity_; }
  std::span<const Word> words() const noexcept { return words_; }

  bool contains(std::uint64_t index) const noexcept {
    return index < capacity_ && ((words_[index / 64] >> (index % 64)) & 1u) != 0;
  }

  std::uint64_t count() const noexcept { return count_bits(words_); }

  bool is_empty() const noexcept { return no_bits(words_); }

  template <typename Visit>
  void for_each_member(Visit&& visit) const {
    for_each_bit(words_, std::forward<Visit>(visit));
  }

  std::vector<std::uint32_t> members() const {
    std::vector<std::uint32_t> out;
    out.reserve(count());
    for_each_member([&out](std::uint32_t index) { out.push_back(index); });
    return out;
  }

  // An owning copy.
  IndexSet<Tag> to_set() const {
    IndexSet<Tag> set = IndexSet<Tag>::empty(capacity_);
    auto out = set.mutable_words();
    for (std::size_t w = 0; w < words_.size(); ++w) out[w] = words_[w];
    return set;
  }

  friend bool operator==(const SetView& a, const SetView& b) noexcept {
    if (a.capacity_ != b.capacity_) return false;
    for (std::size_t w = 0; w < a.words_.size(); ++w)
      if (a.words_[w] != b.words_[w]) return false;
    return true;
  }
  friend bool operator==(const SetView& a, const IndexSet<Tag>& b) noexcept { return a == SetView(b); }

 private:
  std::span<const Word> words_;
  std::uint64_t capacity_ = 0;
};

// True when every member of a is a member of b. Both must share a capacity.
template <typename Tag>
bool is_subset(SetView<Tag> a, SetView<Tag> b) {
  if (a.capacity() != b.capacity()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
  const auto aw = a.words();
  const auto bw = b.words();
  for (std::size_t w = 0; w < aw.size(); ++w)
    if ((aw[w] & ~bw[w]) != 0) return false;
  return true;
}

using ObjectSetView = SetView<ObjectTag>;
using AttributeSetView = SetView<AttributeTag>;

}  // namespace tessara::core
