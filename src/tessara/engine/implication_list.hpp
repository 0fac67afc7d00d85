#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/sets.hpp"

namespace tessara::engine {

// Implications over n attributes stored flat: premise k and conclusion k are
// the k-th runs of `stride` packed words in their arrays (attribute j is bit
// j % 64 of word j / 64). No per-implication allocation, so lists of tens of
// thousands cross the binding as two byte strings.
struct ImplicationList {
  using Word = core::AttributeSet::Word;

  std::uint64_t n_attributes = 0;
  std::size_t stride = 0;
  std::vector<Word> premises;
  std::vector<Word> conclusions;
  // Kept apart from the arrays: with no attributes every set is zero words long.
  std::size_t count = 0;

  explicit ImplicationList(std::uint64_t attributes = 0)
      : n_attributes(attributes), stride(core::AttributeSet::word_count(attributes)) {}

  std::size_t size() const noexcept { return count; }
  std::span<const Word> premise(std::size_t k) const noexcept { return {premises.data() + k * stride, stride}; }
  std::span<const Word> conclusion(std::size_t k) const noexcept { return {conclusions.data() + k * stride, stride}; }

  void append(std::span<const Word> premise, std::span<const Word> conclusion) {
    premises.insert(premises.end(), premise.begin(), premise.end());
    conclusions.insert(conclusions.end(), conclusion.begin(), conclusion.end());
    ++count;
  }
};

}  // namespace tessara::engine
