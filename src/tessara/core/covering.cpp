#include "tessara/core/covering.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

// Reads the extents of a concept list and answers "is x strictly below y".
// Cardinalities are counted once up front; comparing them first is the cheap
// half of the test and gives the same answer as testing the subset first.
class ExtentOrder {
 public:
  explicit ExtentOrder(const ConceptList& concepts) : concepts_(concepts), sizes_(concepts.size()) {
    for (std::size_t i = 0; i < concepts.size(); ++i) sizes_[i] = concepts[i].extent.count();
  }

  std::uint64_t size(std::size_t x) const { return sizes_[x]; }

  bool strictly_below(std::size_t x, std::size_t y) const {
    return sizes_[x] < sizes_[y] && is_subset(concepts_[x].extent, concepts_[y].extent);
  }

 private:
  const ConceptList& concepts_;
  std::vector<std::uint64_t> sizes_;
};

bool has_intermediate(const ExtentOrder& order, std::size_t n, std::size_t a, std::size_t b) {
  for (std::size_t l = 0; l < n; ++l) {
    if (l == a || l == b) continue;
    if (order.strictly_below(a, l) && order.strictly_below(l, b)) return true;
  }
  return false;
}

bool edge_less(const CoverEdge& x, const CoverEdge& y) {
  return x.lower != y.lower ? x.lower < y.lower : x.upper < y.upper;
}

// The concept indices by extent size, smallest first.
std::vector<std::uint32_t> by_ascending_size(const ExtentOrder& order, std::size_t n) {
  std::vector<std::uint32_t> sorted(n);
  for (std::size_t i = 0; i < n; ++i) sorted[i] = static_cast<std::uint32_t>(i);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&order](std::uint32_t x, std::uint32_t y) { return order.size(x) < order.size(y); });
  return sorted;
}

// Appends the covers of `a` to `covers`, in the order found. A strictly larger
// extent b is a cover unless some cover c found before it lies strictly below
// it: every intermediate concept is smaller than b, so it was visited earlier
// and either is such a c or lies above one.
void upper_covers_of(const ExtentOrder& order, std::span<const std::uint32_t> sorted, std::size_t a,
                     std::vector<std::uint32_t>& covers) {
  const auto larger = std::upper_bound(sorted.begin(), sorted.end(), order.size(a),
                                       [&order](std::uint64_t size, std::uint32_t x) { return size < order.size(x); });
  for (auto it = larger; it != sorted.end(); ++it) {
    const std::uint32_t b = *it;
    if (!order.strictly_below(a, b)) continue;
    const bool above_a_cover = std::any_of(covers.begin(), covers.end(),
                                           [&order, b](std::uint32_t c) { return order.strictly_below(c, b); });
    if (!above_a_cover) covers.push_back(b);
  }
}

}  // namespace

std::vector<CoverEdge> upward_covering_scan(const ConceptList& concepts) {
  const std::size_t n = concepts.size();
  if (n > std::numeric_limits<std::uint32_t>::max()) throw InternalFault(fault_text::kIndexOutOfRange);
  const ExtentOrder order(concepts);
  const std::vector<std::uint32_t> sorted = by_ascending_size(order, n);
  std::vector<CoverEdge> edges;
  std::vector<std::uint32_t> covers;
  for (std::size_t a = 0; a < n; ++a) {
    covers.clear();
    upper_covers_of(order, sorted, a, covers);
    std::sort(covers.begin(), covers.end());
    for (const std::uint32_t b : covers) edges.push_back(CoverEdge{static_cast<std::uint32_t>(a), b});
  }
  return edges;
}

std::vector<CoverEdge> direct_covering_scan(const ConceptList& concepts) {
  const std::size_t n = concepts.size();
  if (n > std::numeric_limits<std::uint32_t>::max()) throw InternalFault(fault_text::kIndexOutOfRange);
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

const std::vector<CoverEdge>& covering_edges(ConceptLattice& lattice) {
  if (!lattice.cover_cache) lattice.cover_cache = direct_covering_scan(lattice.concepts);
  return *lattice.cover_cache;
}

}  // namespace tessara::core
