#include "reference/close_by_one.hpp"

#include <optional>
#include <utility>

#include "tessara/engine/lectic.hpp"

namespace tessara::reference {
namespace {

// One level of the walk: a concept and the next attribute to try on it.
struct Frame {
  core::ObjectSet extent;
  core::AttributeSet intent;
  std::uint64_t next_attribute;
};

struct Child {
  core::Concept found;
  std::uint64_t attribute;
};

// The objects having attribute j, i.e. extent_of({j}), read straight off the rows.
core::ObjectSet attribute_extent(const core::Context& context, std::uint64_t j) {
  core::ObjectSet extent = core::ObjectSet::empty(context.n_objects());
  const auto rows = context.rows();
  for (std::size_t g = 0; g < rows.size(); ++g)
    if (rows[g].contains(j)) extent.insert(static_cast<std::uint32_t>(g));
  return extent;
}

// The first canonical child of the frame's concept at an attribute from
// frame.next_attribute on; advances frame.next_attribute past it.
std::optional<Child> next_child(const core::Context& context, Frame& frame, std::uint64_t n) {
  for (std::uint64_t j = frame.next_attribute; j < n; ++j) {
    if (frame.intent.contains(j)) continue;
    core::ObjectSet extent = core::intersection(frame.extent, attribute_extent(context, j));
    if (context.n_objects() == 0 || extent == frame.extent) continue;
    core::AttributeSet intent = context.intent_of(extent);
    // A new attribute below j means another parent generates this concept.
    if (engine::lectic::gains_member_below(intent, frame.intent, j)) continue;
    frame.next_attribute = j + 1;
    return Child{core::Concept{std::move(extent), std::move(intent)}, j};
  }
  frame.next_attribute = n;
  return std::nullopt;
}

}  // namespace

void descend(const core::Context& context, const core::ObjectSet& extent, const core::AttributeSet& intent,
             std::uint64_t start, std::uint64_t n, core::ConceptList& output) {
  std::vector<Frame> path;
  path.push_back(Frame{extent, intent, start});
  while (!path.empty()) {
    std::optional<Child> child = next_child(context, path.back(), n);
    if (!child) {
      path.pop_back();
      continue;
    }
    output.push_back(child->found);
    path.push_back(Frame{std::move(child->found.extent), std::move(child->found.intent), child->attribute + 1});
  }
}

core::ConceptLattice close_by_one(const core::Context& context) {
  core::ConceptLattice lattice;
  lattice.concepts = core::ConceptList(context.n_objects(), context.n_attributes());
  const core::ObjectSet all_objects = core::ObjectSet::full(context.n_objects());
  const core::AttributeSet top_intent = context.intent_of(all_objects);
  lattice.concepts.push_back(core::Concept{all_objects, top_intent});
  descend(context, all_objects, top_intent, 0, context.n_attributes(), lattice.concepts);
  return lattice;
}

}  // namespace tessara::reference
