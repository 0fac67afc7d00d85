#pragma once

#include <cstdint>
#include <optional>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/intent_index.hpp"

namespace tessara::core {

// Order questions on the complete concept lattice of a context, answered by
// computing the intent of the wanted concept and finding it through a hash
// of the intents (built once, in one pass over the list):
// - join (least upper bound): the intent is the intersection of the intents
//   (an intersection of intents is an intent);
// - meet (greatest lower bound): the extent is the intersection of the
//   extents, the intent its derivation;
// - the object concept of g has the intent g'; the attribute concept of m has
//   the intent m''.
// An answer is nothing only when the list lacks that concept, which a list
// holding every concept of the context never does. Both the context and the
// list must outlive the look-up and stay unchanged; indices must be in range
// (an internal fault otherwise).
class LatticeLookup {
 public:
  LatticeLookup(const Context& context, const ConceptList& concepts);

  std::optional<std::uint32_t> join(std::uint32_t a, std::uint32_t b) const;
  std::optional<std::uint32_t> meet(std::uint32_t a, std::uint32_t b) const;
  std::optional<std::uint32_t> object_concept(std::uint32_t g) const;
  std::optional<std::uint32_t> attribute_concept(std::uint32_t m) const;
  // The concept with exactly this intent.
  std::optional<std::uint32_t> find(const AttributeSet& intent) const;

  const ConceptList& concepts() const noexcept { return concepts_; }

 private:
  ObjectSet extent(std::uint32_t i) const;

  const Context& context_;
  const ConceptList& concepts_;
  IntentIndex index_;
};

}  // namespace tessara::core
