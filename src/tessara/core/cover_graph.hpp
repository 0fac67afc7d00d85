#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"

namespace tessara::core {

// The covering relation of a lattice as two adjacency lists, built once from
// its cover edges: for every concept, its upper neighbours (larger extents)
// and its lower neighbours (smaller extents), each in ascending index order.
// The edges may be those of a complete lattice or of any part of it that is
// closed upwards (an iceberg lattice): the walks over it do not care.
class CoverGraph {
 public:
  CoverGraph(std::size_t n_concepts, std::span<const CoverEdge> edges);

  std::size_t size() const noexcept { return upper_start_.size() - 1; }
  std::span<const std::uint32_t> upper(std::size_t i) const { return slice(upper_start_, upper_, i); }
  std::span<const std::uint32_t> lower(std::size_t i) const { return slice(lower_start_, lower_, i); }

 private:
  static std::span<const std::uint32_t> slice(const std::vector<std::size_t>& start,
                                              const std::vector<std::uint32_t>& targets, std::size_t i);

  std::vector<std::size_t> upper_start_;
  std::vector<std::uint32_t> upper_;
  std::vector<std::size_t> lower_start_;
  std::vector<std::uint32_t> lower_;
};

}  // namespace tessara::core
