#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {

// Finds a concept of a list by its intent: an open-addressing hash table of
// concept indices keyed by the intent words, built once over the whole list.
// The list must outlive the index and must not change meanwhile.
class IntentIndex {
 public:
  using Word = std::uint64_t;

  explicit IntentIndex(const ConceptList& concepts);

  // The index of the concept whose intent has exactly these words
  // (concepts.intent_stride() of them), or nullopt when there is none.
  std::optional<std::uint32_t> find(std::span<const Word> intent) const;

 private:
  static constexpr std::uint32_t kEmpty = ~std::uint32_t{0};

  std::size_t slot_of(std::span<const Word> intent) const noexcept;

  const ConceptList& concepts_;
  std::size_t mask_;
  std::vector<std::uint32_t> slots_;
};

}  // namespace tessara::core
