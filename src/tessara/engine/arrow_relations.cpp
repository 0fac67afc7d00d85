#include "tessara/engine/arrow_relations.hpp"

#include <algorithm>
#include <numeric>

#include "tessara/core/popcount.hpp"

namespace tessara::engine {
namespace {

using Word = core::PackedSets::Word;
using Words = std::span<const Word>;

bool strict_superset(Words big, Words small) {
  bool larger = false;
  for (std::size_t w = 0; w < big.size(); ++w) {
    if ((small[w] & ~big[w]) != 0) return false;
    larger = larger || big[w] != small[w];
  }
  return larger;
}

// For every set i of the table: the members shared by all sets strictly
// containing set i (every possible member when none does), without set i's
// own members. Sets are visited by descending size, so only the sets before
// one can contain it.
std::optional<core::PackedSets> maximal_arrows(const core::PackedSets& sets, RunControl& control) {
  core::PackedSets out(sets.size(), sets.capacity());
  std::vector<std::uint64_t> sizes(sets.size());
  for (std::size_t i = 0; i < sets.size(); ++i) sizes[i] = core::count_bits(sets[i]);
  std::vector<std::uint32_t> order(sets.size());
  std::iota(order.begin(), order.end(), 0U);
  std::stable_sort(order.begin(), order.end(), [&sizes](std::uint32_t a, std::uint32_t b) { return sizes[a] > sizes[b]; });
  const std::size_t stride = sets.stride();
  const std::uint64_t tail = sets.capacity() % 64;
  const Word last_mask = tail == 0 ? ~Word{0} : (Word{1} << tail) - 1;
  std::vector<Word> shared(stride);
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k % 256 == 0 && !control.beat()) return std::nullopt;
    const Words own = sets[order[k]];
    std::fill(shared.begin(), shared.end(), ~Word{0});
    if (stride != 0) shared[stride - 1] = last_mask;
    for (std::size_t l = 0; l < k && sizes[order[l]] > sizes[order[k]]; ++l) {
      const Words other = sets[order[l]];
      if (!strict_superset(other, own)) continue;
      for (std::size_t w = 0; w < stride; ++w) shared[w] &= other[w];
    }
    const std::span<Word> target = out.mutable_set(order[k]);
    for (std::size_t w = 0; w < stride; ++w) target[w] = shared[w] & ~own[w];
  }
  return out;
}

core::PackedSets rows_of(const core::Context& context) {
  core::PackedSets rows(static_cast<std::size_t>(context.n_objects()), context.n_attributes());
  for (std::size_t g = 0; g < rows.size(); ++g) {
    const auto words = context.row(g).words();
    std::copy(words.begin(), words.end(), rows.mutable_set(g).begin());
  }
  return rows;
}

}  // namespace

std::optional<ArrowRelations> arrow_relations(const core::Context& context, RunControl& control) {
  auto down = maximal_arrows(rows_of(context), control);
  if (!down) return std::nullopt;
  auto up_by_attribute = maximal_arrows(core::attribute_columns_of(context), control);
  if (!up_by_attribute) return std::nullopt;
  return ArrowRelations{std::move(*down), up_by_attribute->transposed()};
}

}  // namespace tessara::engine
