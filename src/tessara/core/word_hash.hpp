#pragma once

#include <cstdint>
#include <span>

namespace tessara::core {

// Mixes every word of a packed set into 64 bits (a multiply-xorshift step per
// word), so that sets differing in any bit spread over a hash table.
inline std::uint64_t hash_words(std::span<const std::uint64_t> words) noexcept {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ words.size();
  for (const std::uint64_t word : words) {
    h ^= word;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 29);
}

}  // namespace tessara::core
