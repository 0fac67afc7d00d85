#include "tessara/layout/hasse_graph.hpp"

#include "tessara/core/fault.hpp"

namespace tessara::layout {
namespace {

// Counting-sort fill of one direction's neighbour lists: `key` picks the
// endpoint the list belongs to and `value` the neighbour stored in it.
template <typename Key, typename Value>
void fill_lists(std::size_t size, std::span<const core::CoverEdge> edges, Key key, Value value,
                std::vector<std::size_t>& start, std::vector<std::uint32_t>& targets) {
  start.assign(size + 1, 0);
  for (const core::CoverEdge& edge : edges) {
    if (edge.lower >= size || edge.upper >= size || edge.lower == edge.upper)
      throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    ++start[key(edge) + 1];
  }
  for (std::size_t v = 0; v < size; ++v) start[v + 1] += start[v];
  targets.resize(edges.size());
  std::vector<std::size_t> cursor(start.begin(), start.end() - 1);
  for (const core::CoverEdge& edge : edges) targets[cursor[key(edge)]++] = value(edge);
}

}  // namespace

HasseGraph::HasseGraph(std::size_t size, std::span<const core::CoverEdge> edges) {
  fill_lists(
      size, edges, [](const core::CoverEdge& e) { return e.lower; }, [](const core::CoverEdge& e) { return e.upper; },
      upper_start_, uppers_);
  fill_lists(
      size, edges, [](const core::CoverEdge& e) { return e.upper; }, [](const core::CoverEdge& e) { return e.lower; },
      lower_start_, lowers_);
}

std::vector<std::uint32_t> HasseGraph::top_down_order() const {
  const std::size_t n = size();
  std::vector<std::uint32_t> waiting(n);  // upper covers not yet ordered
  std::vector<std::uint32_t> order;
  order.reserve(n);
  for (std::uint32_t v = 0; v < n; ++v) {
    waiting[v] = static_cast<std::uint32_t>(uppers(v).size());
    if (waiting[v] == 0) order.push_back(v);
  }
  for (std::size_t next = 0; next < order.size(); ++next)
    for (const std::uint32_t w : lowers(order[next]))
      if (--waiting[w] == 0) order.push_back(w);
  if (order.size() != n) throw core::InternalFault("cover edges contain a cycle");
  return order;
}

}  // namespace tessara::layout
