#include "tessara/core/reduction.hpp"

#include <algorithm>
#include <numeric>
#include <span>

#include "tessara/core/lattice_incidence.hpp"

namespace tessara::core {
namespace {

using Word = PackedSets::Word;

PackedSets rows_of(const Context& context) {
  PackedSets rows(static_cast<std::size_t>(context.n_objects()), context.n_attributes());
  for (std::size_t g = 0; g < rows.size(); ++g) {
    const auto words = context.row(g).words();
    std::copy(words.begin(), words.end(), rows.mutable_set(g).begin());
  }
  return rows;
}

// The bits of the last word of a set of this capacity that lie below the capacity.
Word tail_mask(std::uint64_t capacity) {
  return capacity % 64 == 0 ? ~Word{0} : (Word{1} << (capacity % 64)) - 1;
}

// The first index of each class of equal sets, ascending: the indices sorted
// by their words (ties by index), the first of each run kept.
std::vector<std::uint32_t> first_of_each_class(const PackedSets& sets) {
  std::vector<std::uint32_t> order(sets.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const auto x = sets[a];
    const auto y = sets[b];
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
  });
  std::vector<std::uint32_t> firsts;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || !std::ranges::equal(sets[order[k]], sets[order[k - 1]])) firsts.push_back(order[k]);
  }
  std::sort(firsts.begin(), firsts.end());
  return firsts;
}

// The indices i whose set is the first of its class of equal sets and is not
// the intersection of the sets strictly containing it. `by_member` is the
// same relation read the other way (by_member[x] holds i when sets[i] holds
// x), so the sets containing sets[i] are the intersection of by_member over
// the members of sets[i] (every index when sets[i] is empty).
std::vector<std::uint32_t> irreducible(const PackedSets& sets, const PackedSets& by_member) {
  std::vector<Word> containing(by_member.stride());
  std::vector<Word> meet(sets.stride());
  const Word tail = tail_mask(sets.size());
  const Word meet_tail = tail_mask(sets.capacity());
  std::vector<std::uint32_t> kept;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const auto set = sets[i];
    std::fill(containing.begin(), containing.end(), ~Word{0});
    if (!containing.empty()) containing.back() &= tail;
    for_each_bit(set, [&](std::uint32_t x) {
      const auto holders = by_member[x];
      for (std::size_t w = 0; w < containing.size(); ++w) containing[w] &= holders[w];
    });
    // The intersection of no sets is the full set.
    std::fill(meet.begin(), meet.end(), ~Word{0});
    if (!meet.empty()) meet.back() &= meet_tail;
    bool first = true;
    for_each_bit(containing, [&](std::uint32_t h) {
      const auto other = sets[h];
      if (std::ranges::equal(other, set)) {
        if (h < i) first = false;
        return;
      }
      for (std::size_t w = 0; w < meet.size(); ++w) meet[w] &= other[w];
    });
    if (!first) continue;
    if (!std::ranges::equal(meet, set)) kept.push_back(static_cast<std::uint32_t>(i));
  }
  return kept;
}

}  // namespace

std::vector<std::uint32_t> clarified_objects(const Context& context) { return first_of_each_class(rows_of(context)); }

std::vector<std::uint32_t> clarified_attributes(const Context& context) {
  return first_of_each_class(rows_of(context).transposed());
}

std::vector<std::uint32_t> irreducible_objects(const Context& context) {
  const PackedSets rows = rows_of(context);
  return irreducible(rows, rows.transposed());
}

std::vector<std::uint32_t> irreducible_attributes(const Context& context) {
  const PackedSets rows = rows_of(context);
  return irreducible(rows.transposed(), rows);
}

}  // namespace tessara::core
