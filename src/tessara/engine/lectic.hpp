#pragma once

#include <cstdint>

#include "tessara/core/sets.hpp"

// Word-parallel pieces of the lectic-order walks: attribute 0 is the most
// significant position, so "below i" means the more significant attributes.
namespace tessara::engine::lectic {

// { k in a : k < i } together with i itself: the candidate that the lectic
// walks test at position i. Precondition: i < a.capacity().
inline core::AttributeSet prefix_with(const core::AttributeSet& a, std::uint32_t i) {
  core::AttributeSet candidate = a;
  auto words = candidate.mutable_words();
  const std::size_t word = i / core::AttributeSet::kWordBits;
  const core::AttributeSet::Word below = (core::AttributeSet::Word{1} << (i % core::AttributeSet::kWordBits)) - 1;
  words[word] &= below;
  for (std::size_t w = word + 1; w < words.size(); ++w) words[w] = 0;
  candidate.insert(i);
  return candidate;
}

// True when some k < i is a member of grown but not of base: the canonicity
// test shared by NextClosure, close-by-one and the canonical base.
inline bool gains_member_below(const core::AttributeSet& grown, const core::AttributeSet& base, std::uint64_t i) {
  grown.require_same_capacity(base);
  const auto g = grown.words();
  const auto b = base.words();
  const std::size_t full_words = i / core::AttributeSet::kWordBits;
  for (std::size_t w = 0; w < full_words; ++w)
    if ((g[w] & ~b[w]) != 0) return true;
  const std::uint64_t tail_bits = i % core::AttributeSet::kWordBits;
  if (tail_bits == 0) return false;
  const core::AttributeSet::Word below = (core::AttributeSet::Word{1} << tail_bits) - 1;
  return (g[full_words] & ~b[full_words] & below) != 0;
}

}  // namespace tessara::engine::lectic
