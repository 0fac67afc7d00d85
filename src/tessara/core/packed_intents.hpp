#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {

// The intents of a ConceptList as packed words, for readers that test
// subsets or combine intents word by word. A list that stores every intent
// packed is read in place; otherwise (a wide context, where small intents
// are stored as lists) the intents are unpacked once into one array. It
// must not outlive the list.
class PackedIntents {
 public:
  using Word = std::uint64_t;

  explicit PackedIntents(const ConceptList& concepts);

  std::size_t stride() const noexcept { return stride_; }
  std::span<const Word> operator[](std::size_t i) const {
    if (!unpacked_) return concepts_->packed_intent_words(i);
    return std::span<const Word>(words_.data() + i * stride_, stride_);
  }

 private:
  const ConceptList* concepts_;
  std::size_t stride_;
  bool unpacked_;
  std::vector<Word> words_;  // stride_ words per concept, when unpacked_
};

}  // namespace tessara::core
