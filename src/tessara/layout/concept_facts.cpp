#include "tessara/layout/concept_facts.hpp"

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
    facts.intent_size[i] = core::count_bits(concepts.intent_words(i));
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
    core::for_each_bit(concepts.intent_words(i), [&](std::uint32_t m) {
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
