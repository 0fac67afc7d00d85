#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {

// Finds a concept of a list by its intent: an open-addressing hash table of
// concept indices keyed by the intent words, built once over the whole list.
// Each slot also keeps where the concept's intent is stored and 32 bits of
// its hash, so a probe compares intents only when the hashes agree and then
// reads the intent without looking the concept up in the list again.
// The list must outlive the index and must not change meanwhile.
class IntentIndex {
 public:
  using Word = std::uint64_t;

  explicit IntentIndex(const ConceptList& concepts);

  // The index of the concept whose intent has exactly these words
  // (concepts.intent_stride() of them), or nullopt when there is none.
  std::optional<std::uint32_t> find(std::span<const Word> intent) const;

 private:
  struct Slot {
    const Word* intent = nullptr;  // nullptr: the slot is empty
    std::uint32_t index = 0;
    std::uint32_t hash = 0;
  };

  const ConceptList& concepts_;
  std::size_t mask_;
  std::vector<Slot> slots_;
};

}  // namespace tessara::core
