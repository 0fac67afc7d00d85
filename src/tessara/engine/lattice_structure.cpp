#include "tessara/engine/lattice_structure.hpp"

#include <algorithm>
#include <utility>

#include "tessara/core/fault.hpp"

namespace tessara::engine {
namespace {

using core::CoverGraph;
using Neighbours = std::span<const std::uint32_t>;

Neighbours towards(const CoverGraph& graph, std::uint32_t i, CoverSide side) {
  return side == CoverSide::kUpper ? graph.upper(i) : graph.lower(i);
}

std::vector<std::uint32_t> with_one_cover(const CoverGraph& graph, CoverSide side) {
  std::vector<std::uint32_t> found;
  for (std::uint32_t i = 0; i < graph.size(); ++i)
    if (towards(graph, i, side).size() == 1) found.push_back(i);
  return found;
}

bool holds(Neighbours sorted, std::uint32_t i) { return std::binary_search(sorted.begin(), sorted.end(), i); }

bool share_one(Neighbours a, Neighbours b) {
  auto p = a.begin();
  auto q = b.begin();
  while (p != a.end() && q != b.end()) {
    if (*p == *q) return true;
    if (*p < *q)
      ++p;
    else
      ++q;
  }
  return false;
}

// For each x in turn, how many of x's neighbours on `side` each element two
// steps away is reached from. Stamps mark the counts of the current x, so the
// arrays are set up once.
class TwoStepCounter {
 public:
  explicit TwoStepCounter(std::size_t n) : stamp_(n, 0), count_(n, 0) {}

  // Calls reached(c, count before this path) for every path x - a - c.
  template <typename Reached>
  void walk(const CoverGraph& graph, std::uint32_t x, CoverSide side, Reached&& reached) {
    const std::uint32_t mark = x + 1;
    for (const std::uint32_t a : towards(graph, x, side)) {
      for (const std::uint32_t c : towards(graph, a, side)) {
        if (stamp_[c] != mark) {
          stamp_[c] = mark;
          count_[c] = 0;
        }
        reached(c, count_[c]++);
      }
    }
  }

 private:
  std::vector<std::uint32_t> stamp_;
  std::vector<std::uint32_t> count_;
};

}  // namespace

std::vector<std::uint32_t> join_irreducibles(const CoverGraph& graph) { return with_one_cover(graph, CoverSide::kLower); }

std::vector<std::uint32_t> meet_irreducibles(const CoverGraph& graph) { return with_one_cover(graph, CoverSide::kUpper); }

std::optional<CoverPairFailure> semimodularity_failure(const CoverGraph& graph, CoverSide side) {
  TwoStepCounter counter(graph.size());
  for (std::uint32_t x = 0; x < graph.size(); ++x) {
    const Neighbours covers = towards(graph, x, side);
    const std::uint64_t k = covers.size();
    if (k < 2) continue;
    std::uint64_t sharing_pairs = 0;
    counter.walk(graph, x, side, [&](std::uint32_t, std::uint32_t before) { sharing_pairs += before; });
    if (sharing_pairs == k * (k - 1) / 2) continue;
    for (std::size_t i = 0; i < covers.size(); ++i)
      for (std::size_t j = i + 1; j < covers.size(); ++j)
        if (!share_one(towards(graph, covers[i], side), towards(graph, covers[j], side)))
          return CoverPairFailure{x, covers[i], covers[j]};
  }
  return std::nullopt;
}

std::optional<CoverDiamond> cover_diamond(const CoverGraph& graph) {
  TwoStepCounter counter(graph.size());
  for (std::uint32_t x = 0; x < graph.size(); ++x) {
    if (graph.upper(x).size() < 3) continue;
    std::optional<std::uint32_t> top;
    counter.walk(graph, x, CoverSide::kUpper, [&](std::uint32_t c, std::uint32_t before) {
      if (before == 2 && !top) top = c;
    });
    if (!top) continue;
    CoverDiamond diamond{x, {}, *top};
    std::size_t found = 0;
    for (const std::uint32_t a : graph.upper(x))
      if (found < 3 && holds(graph.upper(a), *top)) diamond.middle[found++] = a;
    return diamond;
  }
  return std::nullopt;
}

std::optional<std::array<std::uint32_t, 5>> pentagon_from(const CoverPairFailure& failure, CoverSide side,
                                                          const CoverGraph& graph, const core::LatticeLookup& lookup) {
  const core::ConceptList& concepts = lookup.concepts();
  // i ≤ j in the lattice: the intent of j lies inside the intent of i.
  const auto below = [&concepts](std::uint32_t i, std::uint32_t j) {
    return concepts.intent(j).is_subset_of(concepts.intent(i));
  };
  std::uint32_t a = failure.a;
  std::uint32_t b = failure.b;
  const bool upper = side == CoverSide::kUpper;
  const auto far = upper ? lookup.join(a, b) : lookup.meet(a, b);
  if (!far) return std::nullopt;
  // The far end covers at most one of the two (else it would be a shared
  // cover); the chain goes through the other one, which has a cover strictly
  // between itself and the far end.
  if (holds(towards(graph, a, side), *far)) std::swap(a, b);
  for (const std::uint32_t c : towards(graph, a, side)) {
    if (c == *far) continue;
    if (upper && below(c, *far)) return std::array{failure.x, a, c, b, *far};
    if (!upper && below(*far, c)) return std::array{*far, c, a, b, failure.x};
  }
  throw core::InternalFault(core::fault_text::kIndexOutOfRange);
}

std::optional<std::uint32_t> join_irreducible_non_atom(const CoverGraph& graph) {
  for (std::uint32_t i = 0; i < graph.size(); ++i) {
    const Neighbours lower = graph.lower(i);
    if (lower.size() == 1 && !graph.lower(lower[0]).empty()) return i;
  }
  return std::nullopt;
}

}  // namespace tessara::engine
