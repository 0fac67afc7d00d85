#include "tessara/core/intent_index.hpp"

#include <algorithm>
#include <bit>
#include <limits>

#include "tessara/core/fault.hpp"
#include "tessara/core/word_hash.hpp"

namespace tessara::core {

// A slot's first word: the concept index in the low half, hash bits in the high half.
constexpr IntentIndex::Word slot_head(std::uint32_t index, std::uint64_t hash) noexcept {
  return (hash & 0xFFFFFFFF00000000ull) | index;
}

IntentIndex::IntentIndex(const ConceptList& concepts)
    : intents_(concepts),
      inline_words_(concepts.intent_stride() <= kInlineWords ? concepts.intent_stride() : 0),
      slot_words_(1 + inline_words_) {
  if (concepts.size() >= kEmpty) throw InternalFault(fault_text::kIndexOutOfRange);
  // At most half full, so probe sequences stay short.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(2 * concepts.size(), 16));
  mask_ = capacity - 1;
  slots_.assign(capacity * slot_words_, Word{0});
  for (std::size_t slot = 0; slot < capacity; ++slot) slots_[slot * slot_words_] = kEmpty;
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    const auto intent = intents_[i];
    const std::uint64_t hash = hash_words(intent);
    std::size_t slot = static_cast<std::size_t>(hash) & mask_;
    while (static_cast<std::uint32_t>(slots_[slot * slot_words_]) != kEmpty) slot = (slot + 1) & mask_;
    Word* entry = slots_.data() + slot * slot_words_;
    entry[0] = slot_head(static_cast<std::uint32_t>(i), hash);
    std::copy_n(intent.begin(), inline_words_, entry + 1);
  }
}

std::span<const IntentIndex::Word> IntentIndex::stored_intent(std::size_t slot, std::uint32_t index) const {
  if (inline_words_ != 0) return std::span<const Word>(slots_.data() + slot * slot_words_ + 1, inline_words_);
  return intents_[index];
}

std::optional<std::uint32_t> IntentIndex::find(std::span<const Word> intent) const {
  if (intent.size() != intents_.stride()) throw InternalFault(fault_text::kSetCapacitiesDiffer);
  const std::uint64_t hash = hash_words(intent);
  for (std::size_t slot = static_cast<std::size_t>(hash) & mask_;; slot = (slot + 1) & mask_) {
    const Word head = slots_[slot * slot_words_];
    const auto i = static_cast<std::uint32_t>(head);
    if (i == kEmpty) return std::nullopt;
    if ((head ^ hash) >> 32 != 0) continue;
    // Intents are a few words: a plain loop beats a call to memcmp.
    const auto stored = stored_intent(slot, i);
    std::size_t w = 0;
    while (w < stored.size() && stored[w] == intent[w]) ++w;
    if (w == stored.size()) return i;
  }
}

}  // namespace tessara::core
