#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "tessara/layout/hasse_graph.hpp"

namespace tessara::layout {

// The layered graph that crossing reduction and coordinate assignment work
// on: the concepts (nodes 0 .. concept_count-1) on their layers, and for every
// cover edge that spans more than one layer a dummy node on each layer it
// passes, so that every edge of this graph joins two consecutive layers.
// The dummies of cover edge e, from the top down, are the nodes
// concept_count + dummy_start[e] .. concept_count + dummy_start[e + 1] - 1.
class ProperGraph {
 public:
  ProperGraph(const HasseGraph& graph, std::span<const core::CoverEdge> edges, std::vector<std::uint32_t> layer_of);

  std::size_t node_count() const noexcept { return layer_of_.size(); }
  std::size_t concept_count() const noexcept { return concept_count_; }
  std::size_t layer_count() const noexcept { return layer_start_.size() - 1; }
  std::size_t segment_count() const noexcept { return ups_.size(); }
  bool is_dummy(std::uint32_t v) const noexcept { return v >= concept_count_; }
  std::uint32_t layer_of(std::uint32_t v) const noexcept { return layer_of_[v]; }

  // The nodes of layer k in their current order (the order is changed through
  // set_order), and the index of every node within its layer.
  std::span<const std::uint32_t> layer(std::size_t k) const noexcept {
    return std::span<const std::uint32_t>(order_).subspan(layer_start_[k], layer_start_[k + 1] - layer_start_[k]);
  }
  std::span<std::uint32_t> mutable_layer(std::size_t k) noexcept {
    return std::span<std::uint32_t>(order_).subspan(layer_start_[k], layer_start_[k + 1] - layer_start_[k]);
  }
  std::uint32_t position(std::uint32_t v) const noexcept { return position_[v]; }
  // Records the positions after mutable_layer(k) was reordered.
  void refresh_positions(std::size_t k) noexcept;
  // Exchanges the nodes at positions i and i + 1 of layer k.
  void swap_neighbours(std::size_t k, std::size_t i) noexcept {
    const auto nodes = mutable_layer(k);
    std::swap(nodes[i], nodes[i + 1]);
    position_[nodes[i]] = static_cast<std::uint32_t>(i);
    position_[nodes[i + 1]] = static_cast<std::uint32_t>(i + 1);
  }
  // The whole order, layer after layer, and a way to put a saved one back.
  std::span<const std::uint32_t> order() const noexcept { return order_; }
  void restore_order(std::span<const std::uint32_t> saved);

  // Neighbours on the layer above and below.
  std::span<const std::uint32_t> ups(std::uint32_t v) const noexcept {
    return std::span<const std::uint32_t>(ups_).subspan(up_start_[v], up_start_[v + 1] - up_start_[v]);
  }
  std::span<const std::uint32_t> downs(std::uint32_t v) const noexcept {
    return std::span<const std::uint32_t>(downs_).subspan(down_start_[v], down_start_[v + 1] - down_start_[v]);
  }

  // The dummies of cover edge e, top down.
  std::uint32_t first_dummy(std::size_t e) const noexcept {
    return static_cast<std::uint32_t>(concept_count_ + dummy_start_[e]);
  }
  std::uint32_t dummy_count(std::size_t e) const noexcept {
    return static_cast<std::uint32_t>(dummy_start_[e + 1] - dummy_start_[e]);
  }

 private:
  std::size_t concept_count_;
  std::vector<std::uint32_t> layer_of_;
  std::vector<std::size_t> layer_start_;
  std::vector<std::uint32_t> order_;
  std::vector<std::uint32_t> position_;
  std::vector<std::size_t> up_start_;
  std::vector<std::uint32_t> ups_;
  std::vector<std::size_t> down_start_;
  std::vector<std::uint32_t> downs_;
  std::vector<std::size_t> dummy_start_;
};

}  // namespace tessara::layout
