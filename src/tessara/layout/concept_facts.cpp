#include "tessara/layout/concept_facts.hpp"

#include <bit>
#include <limits>
#include <optional>

#include "tessara/core/fault.hpp"
#include "tessara/core/intent_index.hpp"

namespace tessara::layout {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Groups (owner, item) pairs given as owner_of[item] into lists by owner, items ascending.
IndexLists group_by_owner(std::span<const std::uint32_t> owner_of, std::size_t owners) {
  IndexLists lists;
  lists.start.assign(owners + 1, 0);
  for (const std::uint32_t owner : owner_of)
    if (owner != kNone) ++lists.start[owner + 1];
  for (std::size_t i = 0; i < owners; ++i) lists.start[i + 1] += lists.start[i];
  lists.items.resize(lists.start[owners]);
  std::vector<std::size_t> cursor(lists.start.begin(), lists.start.end() - 1);
  for (std::uint32_t item = 0; item < owner_of.size(); ++item)
    if (owner_of[item] != kNone) lists.items[cursor[owner_of[item]]++] = item;
  return lists;
}

}  // namespace

ConceptFacts concept_facts(const DiagramSource& source) {
  const core::ConceptList& concepts = source.concepts;
  const core::Context& context = source.context;
  const std::size_t n = concepts.size();
  if (n >= kNone) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  if (n > 0 && (concepts.n_objects() != context.n_objects() || concepts.n_attributes() != context.n_attributes()))
    throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  ConceptFacts facts;
  facts.support.resize(n);
  facts.intent_size.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    facts.support[i] = concepts.extent_size(i);
    facts.intent_size[i] = concepts.intent_size(i);
  }

  // Attribute concepts: among the concepts with m in their intent the one
  // with the largest extent, which is m's attribute concept exactly when its
  // extent has as many objects as m's column.
  const std::uint64_t n_attributes = context.n_attributes();
  std::vector<std::uint32_t> attribute_concept(n_attributes, kNone);
  std::vector<std::uint64_t> column_size(n_attributes, 0);
  for (const core::AttributeSet& row : context.rows()) row.for_each_member([&](std::uint32_t m) { ++column_size[m]; });
  std::vector<char> in_some_intent(n_attributes, 0);
  for (std::size_t i = 0; i < n; ++i) {
    concepts.for_each_intent_member(i, [&](std::uint32_t m) {
      in_some_intent[m] = 1;
      if (attribute_concept[m] == kNone || facts.support[i] > facts.support[attribute_concept[m]])
        attribute_concept[m] = static_cast<std::uint32_t>(i);
    });
  }
  for (std::uint64_t m = 0; m < n_attributes; ++m) {
    if (attribute_concept[m] != kNone && facts.support[attribute_concept[m]] != column_size[m])
      attribute_concept[m] = kNone;
    if (in_some_intent[m] && attribute_concept[m] == kNone) facts.intents_incomplete = true;
  }
  facts.own_attributes = group_by_owner(attribute_concept, n);

  // Object concepts: the concept whose intent is the object's row.
  std::vector<std::uint32_t> object_concept(context.n_objects(), kNone);
  if (n > 0) {
    const core::IntentIndex index(concepts);
    for (std::uint64_t g = 0; g < context.n_objects(); ++g) {
      const std::optional<std::uint32_t> found = index.find(context.row(g).words());
      if (found) {
        object_concept[g] = *found;
      } else {
        ++facts.objects_without_concept;
      }
    }
  } else {
    facts.objects_without_concept = context.n_objects();
  }
  facts.own_objects = group_by_owner(object_concept, n);
  return facts;
}

}  // namespace tessara::layout

namespace tessara::layout {

ConceptFacts relative_concept_facts(const DiagramSource& source) {
  const core::ConceptList& concepts = source.concepts;
  const std::size_t n = concepts.size();
  ConceptFacts facts;
  facts.support.resize(n);
  facts.intent_size.resize(n);
  const core::PackedIntents intents(concepts);
  const std::size_t intent_stride = concepts.intent_stride();
  const std::size_t extent_stride = concepts.extent_stride();
  std::vector<std::uint64_t> extents(n * extent_stride, 0);
  for (std::size_t i = 0; i < n; ++i) {
    facts.support[i] = concepts.extent_size(i);
    facts.intent_size[i] = concepts.intent_size(i);
    concepts.extent_into(i, std::span<std::uint64_t>(extents.data() + i * extent_stride, extent_stride));
  }
  // What the neighbours above have in their intents and those below in their extents.
  std::vector<std::uint64_t> above(n * intent_stride, 0);
  std::vector<std::uint64_t> below(n * extent_stride, 0);
  for (const core::CoverEdge& edge : source.edges) {
    if (edge.lower >= n || edge.upper >= n) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    const auto upper_intent = intents[edge.upper];
    for (std::size_t w = 0; w < intent_stride; ++w) above[edge.lower * intent_stride + w] |= upper_intent[w];
    for (std::size_t w = 0; w < extent_stride; ++w)
      below[edge.upper * extent_stride + w] |= extents[edge.lower * extent_stride + w];
  }
  std::vector<std::uint64_t> covered(extent_stride, 0);
  facts.own_attributes.start.assign(1, 0);
  facts.own_objects.start.assign(1, 0);
  const auto collect = [](IndexLists& lists, std::size_t word, std::uint64_t bits) {
    for (; bits != 0; bits &= bits - 1)
      lists.items.push_back(static_cast<std::uint32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
  };
  for (std::size_t i = 0; i < n; ++i) {
    const auto intent = intents[i];
    for (std::size_t w = 0; w < intent_stride; ++w)
      collect(facts.own_attributes, w, intent[w] & ~above[i * intent_stride + w]);
    facts.own_attributes.start.push_back(facts.own_attributes.items.size());
    for (std::size_t w = 0; w < extent_stride; ++w) {
      const std::uint64_t extent = extents[i * extent_stride + w];
      covered[w] |= extent;
      collect(facts.own_objects, w, extent & ~below[i * extent_stride + w]);
    }
    facts.own_objects.start.push_back(facts.own_objects.items.size());
  }
  facts.objects_without_concept = static_cast<std::size_t>(concepts.n_objects() - core::count_bits(covered));
  return facts;
}

}  // namespace tessara::layout
