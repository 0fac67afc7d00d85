#include "tessara/layout/proper_graph.hpp"

#include <algorithm>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::layout {

ProperGraph::ProperGraph(const HasseGraph& graph, std::span<const core::CoverEdge> edges,
                         std::vector<std::uint32_t> layer_of)
    : concept_count_(graph.size()), layer_of_(std::move(layer_of)) {
  if (layer_of_.size() != concept_count_) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  dummy_start_.assign(edges.size() + 1, 0);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    const std::uint32_t top = layer_of_[edges[e].upper];
    const std::uint32_t bottom = layer_of_[edges[e].lower];
    if (bottom <= top) throw core::InternalFault("a cover edge does not point downward");
    dummy_start_[e + 1] = dummy_start_[e] + (bottom - top - 1);
  }
  const std::size_t nodes = concept_count_ + dummy_start_.back();
  if (nodes > std::numeric_limits<std::uint32_t>::max()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  layer_of_.resize(nodes);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    const std::uint32_t top = layer_of_[edges[e].upper];
    for (std::uint32_t j = 0; j < dummy_count(e); ++j) layer_of_[first_dummy(e) + j] = top + 1 + j;
  }

  // Layers: concepts in index order, then dummies in edge order.
  std::uint32_t deepest = 0;
  for (const std::uint32_t layer : layer_of_) deepest = std::max(deepest, layer);
  layer_start_.assign(static_cast<std::size_t>(deepest) + 2, 0);
  for (const std::uint32_t layer : layer_of_) ++layer_start_[layer + 1];
  for (std::size_t k = 0; k + 1 < layer_start_.size(); ++k) layer_start_[k + 1] += layer_start_[k];
  order_.resize(nodes);
  position_.resize(nodes);
  {
    std::vector<std::size_t> cursor(layer_start_.begin(), layer_start_.end() - 1);
    for (std::uint32_t v = 0; v < nodes; ++v) {
      const std::size_t slot = cursor[layer_of_[v]]++;
      order_[slot] = v;
      position_[v] = static_cast<std::uint32_t>(slot - layer_start_[layer_of_[v]]);
    }
  }

  // Segments: each cover edge becomes the chain upper, dummies..., lower.
  // Concepts list their neighbours in edge order; a dummy has one each way.
  up_start_.assign(nodes + 1, 0);
  down_start_.assign(nodes + 1, 0);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    ++up_start_[edges[e].lower + 1];
    ++down_start_[edges[e].upper + 1];
  }
  for (std::size_t v = concept_count_; v < nodes; ++v) {
    up_start_[v + 1] = 1;
    down_start_[v + 1] = 1;
  }
  for (std::size_t v = 0; v < nodes; ++v) {
    up_start_[v + 1] += up_start_[v];
    down_start_[v + 1] += down_start_[v];
  }
  ups_.resize(up_start_.back());
  downs_.resize(down_start_.back());
  std::vector<std::size_t> up_cursor(up_start_.begin(), up_start_.end() - 1);
  std::vector<std::size_t> down_cursor(down_start_.begin(), down_start_.end() - 1);
  const auto link = [&](std::uint32_t above, std::uint32_t below) {
    downs_[down_cursor[above]++] = below;
    ups_[up_cursor[below]++] = above;
  };
  for (std::size_t e = 0; e < edges.size(); ++e) {
    std::uint32_t above = edges[e].upper;
    for (std::uint32_t j = 0; j < dummy_count(e); ++j) {
      link(above, first_dummy(e) + j);
      above = first_dummy(e) + j;
    }
    link(above, edges[e].lower);
  }
}

void ProperGraph::refresh_positions(std::size_t k) noexcept {
  const auto nodes = layer(k);
  for (std::size_t i = 0; i < nodes.size(); ++i) position_[nodes[i]] = static_cast<std::uint32_t>(i);
}

void ProperGraph::restore_order(std::span<const std::uint32_t> saved) {
  if (saved.size() != order_.size()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  std::copy(saved.begin(), saved.end(), order_.begin());
  for (std::size_t k = 0; k < layer_count(); ++k) refresh_positions(k);
}

}  // namespace tessara::layout
