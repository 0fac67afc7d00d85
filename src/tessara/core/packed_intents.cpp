#include "tessara/core/packed_intents.hpp"

namespace tessara::core {

PackedIntents::PackedIntents(const ConceptList& concepts)
    : concepts_(&concepts), stride_(concepts.intent_stride()), unpacked_(concepts.may_list_intents()) {
  if (!unpacked_) return;
  words_.resize(concepts.size() * stride_);
  for (std::size_t i = 0; i < concepts.size(); ++i)
    concepts.intent_into(i, std::span<Word>(words_.data() + i * stride_, stride_));
}

}  // namespace tessara::core
