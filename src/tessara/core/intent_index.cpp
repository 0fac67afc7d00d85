#include "tessara/core/intent_index.hpp"

#include <algorithm>
#include <bit>
#include <limits>

#include "tessara/core/fault.hpp"
#include "tessara/core/word_hash.hpp"

namespace tessara::core {

IntentIndex::IntentIndex(const ConceptList& concepts) : concepts_(concepts) {
  if (concepts.size() >= kEmpty) throw InternalFault(fault_text::kIndexOutOfRange);
  // At most half full, so probe sequences stay short.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(2 * concepts.size(), 16));
  mask_ = capacity - 1;
  slots_.assign(capacity, kEmpty);
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    const auto intent = concepts.intent_words(i);
    std::size_t slot = slot_of(intent);
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask_;
    slots_[slot] = static_cast<std::uint32_t>(i);
  }
}

std::size_t IntentIndex::slot_of(std::span<const Word> intent) const noexcept {
  return static_cast<std::size_t>(hash_words(intent)) & mask_;
}

std::optional<std::uint32_t> IntentIndex::find(std::span<const Word> intent) const {
  if (intent.size() != concepts_.intent_stride()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
  for (std::size_t slot = slot_of(intent);; slot = (slot + 1) & mask_) {
    const std::uint32_t i = slots_[slot];
    if (i == kEmpty) return std::nullopt;
    // Intents are a few words: a plain loop beats a call to memcmp.
    const auto stored = concepts_.intent_words(i);
    std::size_t w = 0;
    while (w < stored.size() && stored[w] == intent[w]) ++w;
    if (w == stored.size()) return i;
  }
}

}  // namespace tessara::core
