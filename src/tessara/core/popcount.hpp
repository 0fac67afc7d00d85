#pragma once

#include <bit>
#include <cstdint>
#include <span>

namespace tessara::core {

// The number of set bits in the words. Uses the POPCNT instruction where the
// processor has it (chosen once at load time), and a portable count elsewhere,
// so the module needs no more than the baseline x86-64 instruction set.
std::uint64_t count_bits(std::span<const std::uint64_t> words) noexcept;

// True when no word has a bit set.
inline bool no_bits(std::span<const std::uint64_t> words) noexcept {
  for (const std::uint64_t word : words)
    if (word != 0) return false;
  return true;
}

// Calls visit(index) for every set bit, bit i of word w being index 64 w + i,
// smallest index first.
template <typename Visit>
void for_each_bit(std::span<const std::uint64_t> words, Visit&& visit) {
  for (std::size_t w = 0; w < words.size(); ++w) {
    std::uint64_t word = words[w];
    while (word != 0) {
      visit(static_cast<std::uint32_t>(w * 64 + static_cast<std::uint32_t>(std::countr_zero(word))));
      word &= word - 1;
    }
  }
}

}  // namespace tessara::core
