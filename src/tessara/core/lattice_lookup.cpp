#include "tessara/core/lattice_lookup.hpp"

#include "tessara/core/fault.hpp"

namespace tessara::core {

LatticeLookup::LatticeLookup(const Context& context, const ConceptList& concepts)
    : context_(context), concepts_(concepts), index_(concepts) {
  if (!concepts.empty() &&
      (concepts.n_objects() != context.n_objects() || concepts.n_attributes() != context.n_attributes()))
    throw InternalFault(fault_text::kSetCapacitiesDiffer);
}

ObjectSet LatticeLookup::extent(std::uint32_t i) const {
  ObjectSet set = ObjectSet::empty(context_.n_objects());
  concepts_.extent_into(i, set.mutable_words());
  return set;
}

std::optional<std::uint32_t> LatticeLookup::find(const AttributeSet& intent) const {
  if (intent.capacity() != context_.n_attributes()) throw InternalFault(fault_text::kAttributeSetCapacity);
  if (concepts_.empty()) return std::nullopt;
  return index_.find(intent.words());
}

std::optional<std::uint32_t> LatticeLookup::join(std::uint32_t a, std::uint32_t b) const {
  AttributeSet intent = concepts_[a].intent.to_set();
  intent.intersect_with(concepts_[b].intent.to_set());
  return find(intent);
}

std::optional<std::uint32_t> LatticeLookup::meet(std::uint32_t a, std::uint32_t b) const {
  return find(context_.intent_of(intersection(extent(a), extent(b))));
}

std::optional<std::uint32_t> LatticeLookup::object_concept(std::uint32_t g) const { return find(context_.row(g)); }

std::optional<std::uint32_t> LatticeLookup::attribute_concept(std::uint32_t m) const {
  AttributeSet attribute = AttributeSet::empty(context_.n_attributes());
  attribute.insert(m);
  return find(context_.intent_of(context_.extent_of(attribute)));
}

}  // namespace tessara::core
