#pragma once

// The covering relation by the direct scan over all pairs of concepts, kept as
// the reference the neighbour walk is compared with. Cubic in the number of
// concepts, and defined for any list of extents of one capacity, lattice or not.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/fault.hpp"

namespace tessara::reference {

using core::ConceptList;
using core::CoverEdge;

// Reads the extents of a concept list once, as owning sets, and answers "is
// x strictly below y". Cardinalities are counted once up front; comparing them
// first is the cheap half of the test and gives the same answer as testing
// the subset first.
class ExtentOrder {
 public:
  explicit ExtentOrder(const ConceptList& concepts) : sizes_(concepts.size()) {
    extents_.reserve(concepts.size());
    for (std::size_t i = 0; i < concepts.size(); ++i) {
      extents_.push_back(concepts[i].extent.to_set());
      sizes_[i] = extents_.back().count();
    }
  }

  std::uint64_t size(std::size_t x) const { return sizes_[x]; }

  bool strictly_below(std::size_t x, std::size_t y) const {
    return sizes_[x] < sizes_[y] && is_subset(extents_[x], extents_[y]);
  }

 private:
  std::vector<core::ObjectSet> extents_;
  std::vector<std::uint64_t> sizes_;
};

inline bool has_intermediate(const ExtentOrder& order, std::size_t n, std::size_t a, std::size_t b) {
  for (std::size_t l = 0; l < n; ++l) {
    if (l == a || l == b) continue;
    if (order.strictly_below(a, l) && order.strictly_below(l, b)) return true;
  }
  return false;
}

inline bool edge_less(const CoverEdge& x, const CoverEdge& y) {
  return x.lower != y.lower ? x.lower < y.lower : x.upper < y.upper;
}

// For every pair a < b (strict extent inclusion) it looks for an intermediate
// concept and keeps the pair when there is none.
inline std::vector<CoverEdge> direct_covering_scan(const ConceptList& concepts) {
  const std::size_t n = concepts.size();
  if (n > std::numeric_limits<std::uint32_t>::max()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  const ExtentOrder order(concepts);
  std::vector<CoverEdge> edges;
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = 0; b < n; ++b) {
      if (b == a || !order.strictly_below(a, b)) continue;
      if (has_intermediate(order, n, a, b)) continue;
      edges.push_back(CoverEdge{static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)});
    }
  }
  // The loops already append in (lower, upper) order; the sort states the contract.
  std::stable_sort(edges.begin(), edges.end(), edge_less);
  return edges;
}

// The reference covering_edges: the direct scan behind the same cache.
inline const std::vector<CoverEdge>& covering_edges(core::ConceptLattice& lattice) {
  if (!lattice.cover_cache) lattice.cover_cache = direct_covering_scan(lattice.concepts);
  return *lattice.cover_cache;
}

}  // namespace tessara::reference
