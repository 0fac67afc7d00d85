#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/packed_intents.hpp"

namespace tessara::core {

// Finds a concept of a list by its intent: an open-addressing hash table of
// concept indices keyed by the intent words, built once over the whole list.
// Each slot holds the index and 32 bits of the intent's hash, and, for intents
// of at most kInlineWords words, a copy of the intent itself: a look-up then
// reads one place in the table instead of a concept record elsewhere in
// memory, and a longer intent is read from its record only when the hash bits
// agree. The list must outlive the index and must not change meanwhile.
class IntentIndex {
 public:
  using Word = std::uint64_t;

  explicit IntentIndex(const ConceptList& concepts);

  // The index of the concept whose intent has exactly these words
  // (concepts.intent_stride() of them), or nullopt when there is none.
  std::optional<std::uint32_t> find(std::span<const Word> intent) const;

  // The intents of the list as packed words, which the index is keyed by.
  const PackedIntents& intents() const noexcept { return intents_; }

 private:
  static constexpr std::uint32_t kEmpty = ~std::uint32_t{0};
  static constexpr std::size_t kInlineWords = 4;

  std::span<const Word> stored_intent(std::size_t slot, std::uint32_t index) const;

  PackedIntents intents_;
  std::size_t mask_;
  std::size_t inline_words_;  // intent words copied into each slot: the stride, or 0 beyond kInlineWords
  std::size_t slot_words_;    // 1 + inline_words_: the index and hash bits, then the copy
  std::vector<Word> slots_;
};

}  // namespace tessara::core
