#include "tessara/layout/layering.hpp"

#include <algorithm>
#include <limits>

namespace tessara::layout {
namespace {

constexpr int kShorteningPasses = 8;

// Moves every concept to the end of its free range that shortens its edges;
// returns whether any moved.
bool shorten_edges(const HasseGraph& graph, std::span<const std::uint32_t> order,
                   std::vector<std::uint32_t>& layer_of) {
  bool moved = false;
  for (const std::uint32_t v : order) {
    const auto uppers = graph.uppers(v);
    const auto lowers = graph.lowers(v);
    if (uppers.size() == lowers.size()) continue;
    std::uint32_t target = layer_of[v];
    if (lowers.size() > uppers.size()) {
      std::uint32_t lowest_free = std::numeric_limits<std::uint32_t>::max();
      for (const std::uint32_t w : lowers) lowest_free = std::min(lowest_free, layer_of[w] - 1);
      target = lowest_free;
    } else {
      std::uint32_t highest_free = 0;
      for (const std::uint32_t u : uppers) highest_free = std::max(highest_free, layer_of[u] + 1);
      target = highest_free;
    }
    if (target != layer_of[v]) {
      layer_of[v] = target;
      moved = true;
    }
  }
  return moved;
}

// Renumbers the layers so that none is empty, keeping their order.
void close_gaps(std::vector<std::uint32_t>& layer_of) {
  std::uint32_t deepest = 0;
  for (const std::uint32_t layer : layer_of) deepest = std::max(deepest, layer);
  std::vector<std::uint32_t> renumbered(static_cast<std::size_t>(deepest) + 1, 0);
  for (const std::uint32_t layer : layer_of) renumbered[layer] = 1;
  std::uint32_t next = 0;
  for (std::uint32_t& slot : renumbered) {
    const bool used = slot != 0;
    slot = next;
    next += used ? 1 : 0;
  }
  for (std::uint32_t& layer : layer_of) layer = renumbered[layer];
}

}  // namespace

std::vector<std::uint32_t> assign_layers(const HasseGraph& graph) {
  const std::vector<std::uint32_t> order = graph.top_down_order();
  std::vector<std::uint32_t> layer_of(graph.size(), 0);
  for (const std::uint32_t v : order)
    for (const std::uint32_t w : graph.lowers(v)) layer_of[w] = std::max(layer_of[w], layer_of[v] + 1);
  for (int pass = 0; pass < kShorteningPasses; ++pass)
    if (!shorten_edges(graph, order, layer_of)) break;
  close_gaps(layer_of);
  return layer_of;
}

}  // namespace tessara::layout
