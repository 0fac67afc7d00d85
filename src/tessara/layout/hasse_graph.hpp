#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::layout {

// The cover relation of the concepts being drawn, as neighbour lists in both
// directions. Built from any list of cover edges: a whole lattice, or an
// iceberg (its upper part, which need not have a bottom).
class HasseGraph {
 public:
  // `edges` are (lower, upper) pairs of indices below `size`.
  HasseGraph(std::size_t size, std::span<const core::CoverEdge> edges);

  std::size_t size() const noexcept { return upper_start_.size() - 1; }
  std::size_t edge_count() const noexcept { return uppers_.size(); }

  // The upper covers of v, in the order of the edge list.
  std::span<const std::uint32_t> uppers(std::uint32_t v) const noexcept {
    return std::span<const std::uint32_t>(uppers_).subspan(upper_start_[v], upper_start_[v + 1] - upper_start_[v]);
  }
  // The lower covers of v, in the order of the edge list.
  std::span<const std::uint32_t> lowers(std::uint32_t v) const noexcept {
    return std::span<const std::uint32_t>(lowers_).subspan(lower_start_[v], lower_start_[v + 1] - lower_start_[v]);
  }

  // The concepts ordered so that each comes after all its upper covers.
  // Throws InternalFault when the edges contain a cycle.
  std::vector<std::uint32_t> top_down_order() const;

 private:
  std::vector<std::size_t> upper_start_;
  std::vector<std::uint32_t> uppers_;
  std::vector<std::size_t> lower_start_;
  std::vector<std::uint32_t> lowers_;
};

}  // namespace tessara::layout
