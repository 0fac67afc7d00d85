#include "tessara/core/induced_order.hpp"

#include <algorithm>
#include <bit>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

using Word = ConceptList::Word;

}  // namespace

std::vector<InducedCover> induced_covers(const ConceptList& concepts, std::span<const CoverEdge> edges,
                                         std::span<const std::uint32_t> chosen) {
  const std::size_t k = chosen.size();
  for (const std::uint32_t c : chosen)
    if (c >= concepts.size()) throw InternalFault(fault_text::kIndexOutOfRange);
  const std::size_t stride = (k + 63) / 64;
  // below[b] holds, as bits over positions, every chosen concept strictly below b.
  std::vector<Word> below(k * stride, 0);
  for (std::size_t b = 0; b < k; ++b) {
    const IntentView upper_intent = concepts.intent(chosen[b]);
    const std::uint64_t upper_size = concepts.extent_size(chosen[b]);
    for (std::size_t a = 0; a < k; ++a) {
      if (a == b || chosen[a] == chosen[b] || concepts.extent_size(chosen[a]) >= upper_size) continue;
      if (upper_intent.is_subset_of(concepts.intent(chosen[a])))
        below[b * stride + a / 64] |= Word{1} << (a % 64);
    }
  }
  // a is covered by b when a is below b and below nothing else below b.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> lattice_edges;
  lattice_edges.reserve(edges.size());
  for (const CoverEdge& e : edges) lattice_edges.emplace_back(e.lower, e.upper);
  std::sort(lattice_edges.begin(), lattice_edges.end());
  std::vector<InducedCover> covers;
  std::vector<Word> covered(stride);
  for (std::size_t b = 0; b < k; ++b) {
    const std::span<const Word> mine(below.data() + b * stride, stride);
    std::fill(covered.begin(), covered.end(), 0);
    for (std::size_t w = 0; w < stride; ++w)
      for (Word bits = mine[w]; bits != 0; bits &= bits - 1) {
        const std::size_t c = w * 64 + static_cast<std::size_t>(std::countr_zero(bits));
        for (std::size_t x = 0; x < stride; ++x) covered[x] |= below[c * stride + x];
      }
    for (std::size_t w = 0; w < stride; ++w)
      for (Word bits = mine[w] & ~covered[w]; bits != 0; bits &= bits - 1) {
        const auto a = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        const bool direct = std::binary_search(lattice_edges.begin(), lattice_edges.end(),
                                               std::pair<std::uint32_t, std::uint32_t>{chosen[a], chosen[b]});
        covers.push_back(InducedCover{a, static_cast<std::uint32_t>(b), !direct});
      }
  }
  return covers;
}

}  // namespace tessara::core
