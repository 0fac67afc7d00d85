#include "tessara/core/covering.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::core {

// Orders the edges by (lower, upper): a stable counting sort by lower, then
// each lower's uppers sorted among themselves (they are few).
std::vector<CoverEdge> sorted_cover_edges(std::span<const CoverEdge> found, std::size_t n) {
  std::vector<std::size_t> start(n + 1, 0);
  for (const CoverEdge& edge : found) ++start[edge.lower + 1];
  for (std::size_t v = 0; v < n; ++v) start[v + 1] += start[v];
  std::vector<CoverEdge> edges(found.size());
  std::vector<std::size_t> cursor(start.begin(), start.end() - 1);
  for (const CoverEdge& edge : found) edges[cursor[edge.lower]++] = edge;
  const auto by_upper = [](const CoverEdge& x, const CoverEdge& y) { return x.upper < y.upper; };
  for (std::size_t v = 0; v < n; ++v) {
    const auto first = edges.begin() + static_cast<std::ptrdiff_t>(start[v]);
    const auto last = edges.begin() + static_cast<std::ptrdiff_t>(start[v + 1]);
    if (!std::is_sorted(first, last, by_upper)) std::sort(first, last, by_upper);
  }
  return edges;
}

namespace {

// Rough word operations per concept: every element outside a concept's set on
// the walked side is tried once and checked against up to all the others.
double walk_cost(std::uint64_t side, std::size_t other_stride) {
  return static_cast<double>(side) * (static_cast<double>(side) + static_cast<double>(other_stride));
}

}  // namespace

NeighbourSide cheaper_neighbour_side(const ConceptList& concepts) {
  const double by_attributes = walk_cost(concepts.n_attributes(), concepts.extent_stride());
  const double by_objects = walk_cost(concepts.n_objects(), concepts.intent_stride());
  return by_objects < by_attributes ? NeighbourSide::Objects : NeighbourSide::Attributes;
}

std::vector<CoverEdge> covering_from_neighbours(const ConceptList& concepts, NeighbourSide side) {
  const std::size_t n = concepts.size();
  if (n > std::numeric_limits<std::uint32_t>::max()) throw InternalFault(fault_text::kIndexOutOfRange);
  if (n < 2) return {};
  std::vector<CoverEdge> found;
  NeighbourWalk walk(concepts, side);
  for (std::size_t i = 0; i < n; ++i) walk.visit(static_cast<std::uint32_t>(i), found);
  return sorted_cover_edges(found, n);
}

std::unique_ptr<NeighbourWalk> frequent_neighbour_walk(const ConceptList& concepts, const Context& context,
                                                       std::uint64_t min_support) {
  if (concepts.size() > std::numeric_limits<std::uint32_t>::max()) throw InternalFault(fault_text::kIndexOutOfRange);
  if (concepts.n_objects() != context.n_objects() || concepts.n_attributes() != context.n_attributes())
    throw InternalFault(fault_text::kSetCapacitiesDiffer);
  const NeighbourSide side = cheaper_neighbour_side(concepts);
  if (side == NeighbourSide::Attributes && min_support > 1) {
    std::vector<std::size_t> offsets{0};
    std::vector<std::uint32_t> attributes;
    for (const AttributeSet& row : context.rows()) {
      row.for_each_member([&](std::uint32_t m) { attributes.push_back(m); });
      offsets.push_back(attributes.size());
    }
    return std::make_unique<NeighbourWalk>(concepts, attribute_columns_of(context), min_support, std::move(offsets),
                                           std::move(attributes));
  }
  return std::make_unique<NeighbourWalk>(concepts, side, attribute_columns_of(context), min_support);
}

std::vector<CoverEdge> covering_of_frequent(const ConceptList& concepts, const Context& context,
                                            std::uint64_t min_support) {
  const std::size_t n = concepts.size();
  if (n < 2) return {};
  const std::unique_ptr<NeighbourWalk> walk = frequent_neighbour_walk(concepts, context, min_support);
  std::vector<CoverEdge> found;
  for (std::size_t i = 0; i < n; ++i) walk->visit(static_cast<std::uint32_t>(i), found);
  return sorted_cover_edges(found, n);
}

const std::vector<CoverEdge>& covering_edges(ConceptLattice& lattice) {
  if (!lattice.cover_cache)
    lattice.cover_cache = covering_from_neighbours(lattice.concepts, cheaper_neighbour_side(lattice.concepts));
  return *lattice.cover_cache;
}

}  // namespace tessara::core
