#include "tessara/core/popcount.hpp"

#include <bit>

namespace tessara::core {

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("popcnt", "default")))
#endif
std::uint64_t
count_bits(std::span<const std::uint64_t> words) noexcept {
  std::uint64_t total = 0;
  for (const std::uint64_t word : words) total += static_cast<std::uint64_t>(std::popcount(word));
  return total;
}

}  // namespace tessara::core
