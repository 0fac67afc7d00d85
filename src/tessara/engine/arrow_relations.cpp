#include "tessara/engine/arrow_relations.hpp"

#include <algorithm>

#include "tessara/core/popcount.hpp"

namespace tessara::engine {
namespace {

using Word = core::PackedSets::Word;
using Words = std::span<const Word>;

// All ones over `capacity` members, the tail bits of the last word clear.
void fill_all(std::span<Word> words, std::uint64_t capacity) {
  std::fill(words.begin(), words.end(), ~Word{0});
  if (capacity % 64 != 0) words.back() = (Word{1} << (capacity % 64)) - 1;
}

bool equal(Words a, Words b) { return std::equal(a.begin(), a.end(), b.begin()); }

// For every set i of the table: the members shared by all sets strictly
// containing set i (every possible member when none does), without set i's
// own members. `transposed` is the same relation read the other way, so the
// sets containing set i are the intersection of its members' transposed
// sets: the work follows the sizes of the sets and of their supersets, not
// the square of the table. Equal sets are skipped, and a set stops once the
// shared members are its own (it then has no arrow).
std::optional<core::PackedSets> maximal_arrows(const core::PackedSets& sets, const core::PackedSets& transposed,
                                               RunControl& control) {
  core::PackedSets out(sets.size(), sets.capacity());
  std::vector<Word> containing(transposed.stride());
  std::vector<Word> shared(sets.stride());
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (i % 256 == 0 && !control.beat()) return std::nullopt;
    const Words own = sets[i];
    fill_all(containing, sets.size());
    core::for_each_bit(own, [&](std::uint32_t j) {
      const Words column = transposed[j];
      for (std::size_t w = 0; w < containing.size(); ++w) containing[w] &= column[w];
    });
    fill_all(shared, sets.capacity());
    bool arrows_left = true;
    core::for_each_bit(std::span<const Word>(containing), [&](std::uint32_t k) {
      if (!arrows_left || equal(sets[k], own)) return;
      const Words other = sets[k];
      Word beyond = 0;
      for (std::size_t w = 0; w < shared.size(); ++w) {
        shared[w] &= other[w];
        beyond |= shared[w] & ~own[w];
      }
      arrows_left = beyond != 0;
    });
    const std::span<Word> target = out.mutable_set(i);
    for (std::size_t w = 0; w < shared.size(); ++w) target[w] = shared[w] & ~own[w];
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
  const core::PackedSets rows = rows_of(context);
  const core::PackedSets columns = core::attribute_columns_of(context);
  auto down = maximal_arrows(rows, columns, control);
  if (!down) return std::nullopt;
  auto up_by_attribute = maximal_arrows(columns, rows, control);
  if (!up_by_attribute) return std::nullopt;
  return ArrowRelations{std::move(*down), up_by_attribute->transposed()};
}

}  // namespace tessara::engine
