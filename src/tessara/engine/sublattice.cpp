#include "tessara/engine/sublattice.hpp"

#include <algorithm>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::engine {
namespace {

// Concept i lies below concept j: j's intent is inside i's.
bool below(const core::ConceptList& concepts, std::uint32_t i, std::uint32_t j) {
  return concepts.intent(j).is_subset_of(concepts.intent(i));
}

// The covering relation among the members, sorted by (lower, upper). For
// each member, the members strictly above it are taken nearest first (larger
// intents first); one is a cover unless it lies above a cover already found.
std::vector<core::CoverEdge> covering_among(const core::ConceptList& concepts, std::span<const std::uint32_t> members) {
  std::vector<std::uint32_t> by_intent(members.size());
  for (std::uint32_t k = 0; k < members.size(); ++k) by_intent[k] = k;
  std::vector<std::uint64_t> sizes(members.size());
  for (std::size_t k = 0; k < members.size(); ++k) sizes[k] = concepts.intent_size(members[k]);
  std::stable_sort(by_intent.begin(), by_intent.end(),
                   [&sizes](std::uint32_t a, std::uint32_t b) { return sizes[a] > sizes[b]; });
  std::vector<core::CoverEdge> edges;
  std::vector<std::uint32_t> covers;
  for (std::uint32_t k = 0; k < members.size(); ++k) {
    covers.clear();
    for (const std::uint32_t l : by_intent) {
      if (sizes[l] >= sizes[k] || !below(concepts, members[k], members[l])) continue;
      const bool beyond = std::any_of(covers.begin(), covers.end(),
                                      [&](std::uint32_t c) { return below(concepts, members[c], members[l]); });
      if (!beyond) covers.push_back(l);
    }
    std::sort(covers.begin(), covers.end());
    for (const std::uint32_t c : covers) edges.push_back(core::CoverEdge{k, c});
  }
  return edges;
}

// The lattice's own edges between members, renumbered by position among them.
std::vector<core::CoverEdge> restricted_covering(std::size_t n_concepts, std::span<const core::CoverEdge> edges,
                                                 std::span<const std::uint32_t> members) {
  constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> position(n_concepts, kAbsent);
  for (std::uint32_t k = 0; k < members.size(); ++k) position[members[k]] = k;
  std::vector<core::CoverEdge> kept;
  for (const core::CoverEdge& edge : edges) {
    if (edge.lower >= n_concepts || edge.upper >= n_concepts) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    if (position[edge.lower] != kAbsent && position[edge.upper] != kAbsent)
      kept.push_back(core::CoverEdge{position[edge.lower], position[edge.upper]});
  }
  // Members ascend, so the renumbering keeps the (lower, upper) order.
  return kept;
}

}  // namespace

std::vector<std::uint32_t> interval_members(const core::ConceptList& concepts, std::optional<std::uint32_t> lower,
                                            std::optional<std::uint32_t> upper) {
  std::vector<std::uint32_t> members;
  for (std::uint32_t i = 0; i < concepts.size(); ++i) {
    if (lower && !below(concepts, *lower, i)) continue;
    if (upper && !below(concepts, i, *upper)) continue;
    members.push_back(i);
  }
  return members;
}

std::optional<std::vector<std::uint32_t>> generated_sublattice(const core::LatticeLookup& lookup,
                                                               std::span<const std::uint32_t> generators,
                                                               RunControl& control) {
  const std::size_t n = lookup.concepts().size();
  std::vector<char> member(n, 0);
  std::vector<std::uint32_t> members;
  const auto add = [&](std::uint32_t i) {
    if (i >= n) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    if (member[i] == 0) {
      member[i] = 1;
      members.push_back(i);
    }
  };
  for (const std::uint32_t g : generators) add(g);
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (!control.beat()) return std::nullopt;
    for (std::size_t l = 0; l < k; ++l) {
      const auto join = lookup.join(members[k], members[l]);
      const auto meet = lookup.meet(members[k], members[l]);
      if (!join || !meet) return std::nullopt;
      add(*join);
      add(*meet);
    }
  }
  std::sort(members.begin(), members.end());
  return members;
}

core::ConceptLattice lattice_of_members(const core::ConceptList& concepts, std::span<const core::CoverEdge> edges,
                                        std::span<const std::uint32_t> members, bool convex) {
  core::ConceptLattice part;
  part.concepts = core::ConceptList(concepts.n_objects(), concepts.n_attributes());
  for (const std::uint32_t i : members) part.concepts.append_from(concepts, i);
  part.cover_cache = convex ? restricted_covering(concepts.size(), edges, members) : covering_among(concepts, members);
  return part;
}

}  // namespace tessara::engine
