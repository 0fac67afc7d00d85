#include "tessara/core/intent_index.hpp"

#include <algorithm>
#include <bit>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

// Mixes every word into 64 bits (a multiply-xorshift step per word), so that
// sets differing in any bit spread over the table.
std::uint64_t hash_words(std::span<const IntentIndex::Word> words) noexcept {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ words.size();
  for (const IntentIndex::Word word : words) {
    h ^= word;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 29);
}

}  // namespace

IntentIndex::IntentIndex(const ConceptList& concepts) : concepts_(concepts) {
  if (concepts.size() >= std::numeric_limits<std::uint32_t>::max())
    throw InternalFault(fault_text::kIndexOutOfRange);
  // At most half full, so probe sequences stay short.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(2 * concepts.size(), 16));
  mask_ = capacity - 1;
  slots_.assign(capacity, Slot{});
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    const auto intent = concepts.intent_words(i);
    const std::uint64_t hash = hash_words(intent);
    std::size_t slot = static_cast<std::size_t>(hash) & mask_;
    while (slots_[slot].intent != nullptr) slot = (slot + 1) & mask_;
    slots_[slot] = Slot{intent.data(), static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(hash >> 32)};
  }
}

std::optional<std::uint32_t> IntentIndex::find(std::span<const Word> intent) const {
  if (intent.size() != concepts_.intent_stride()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
  const std::uint64_t hash = hash_words(intent);
  const auto high = static_cast<std::uint32_t>(hash >> 32);
  for (std::size_t slot = static_cast<std::size_t>(hash) & mask_;; slot = (slot + 1) & mask_) {
    const Slot& probe = slots_[slot];
    if (probe.intent == nullptr) return std::nullopt;
    if (probe.hash != high) continue;
    // Intents are a few words: a plain loop beats a call to memcmp.
    std::size_t w = 0;
    while (w < intent.size() && probe.intent[w] == intent[w]) ++w;
    if (w == intent.size()) return probe.index;
  }
}

}  // namespace tessara::core
