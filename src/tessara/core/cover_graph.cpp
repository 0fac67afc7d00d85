#include "tessara/core/cover_graph.hpp"

#include <algorithm>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

// Counting sort of the edges by one end: start[i] .. start[i + 1] are the
// positions of concept i's neighbours at the other end, ascending.
void group_by(std::size_t n, std::span<const CoverEdge> edges, bool by_lower, std::vector<std::size_t>& start,
              std::vector<std::uint32_t>& targets) {
  start.assign(n + 1, 0);
  for (const CoverEdge& edge : edges) {
    const std::uint32_t from = by_lower ? edge.lower : edge.upper;
    const std::uint32_t to = by_lower ? edge.upper : edge.lower;
    if (from >= n || to >= n) throw InternalFault(fault_text::kIndexOutOfRange);
    ++start[from + 1];
  }
  for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
  targets.resize(edges.size());
  std::vector<std::size_t> cursor(start.begin(), start.end() - 1);
  for (const CoverEdge& edge : edges)
    targets[cursor[by_lower ? edge.lower : edge.upper]++] = by_lower ? edge.upper : edge.lower;
  for (std::size_t i = 0; i < n; ++i) {
    const auto first = targets.begin() + static_cast<std::ptrdiff_t>(start[i]);
    const auto last = targets.begin() + static_cast<std::ptrdiff_t>(start[i + 1]);
    if (!std::is_sorted(first, last)) std::sort(first, last);
  }
}

}  // namespace

CoverGraph::CoverGraph(std::size_t n_concepts, std::span<const CoverEdge> edges) {
  group_by(n_concepts, edges, true, upper_start_, upper_);
  group_by(n_concepts, edges, false, lower_start_, lower_);
}

std::span<const std::uint32_t> CoverGraph::slice(const std::vector<std::size_t>& start,
                                                 const std::vector<std::uint32_t>& targets, std::size_t i) {
  if (i + 1 >= start.size()) throw InternalFault(fault_text::kIndexOutOfRange);
  return std::span<const std::uint32_t>(targets.data() + start[i], start[i + 1] - start[i]);
}

}  // namespace tessara::core
