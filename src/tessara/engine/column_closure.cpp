#include "tessara/engine/column_closure.hpp"

#include <algorithm>
#include <bit>

namespace tessara::engine::column_closure {
namespace {

constexpr std::size_t kWordBits = 64;

}  // namespace

void restrict_extent(std::span<Word> extent, const core::AttributeColumns& columns, std::span<const Word> added) {
  for (std::size_t w = 0; w < added.size(); ++w) {
    for (Word word = added[w]; word != 0; word &= word - 1) {
      const auto column = columns.column(w * kWordBits + static_cast<std::size_t>(std::countr_zero(word)));
      Word any = 0;
      for (std::size_t g = 0; g < extent.size(); ++g) any |= (extent[g] &= column[g]);
      if (any == 0) return;
    }
  }
}

void intent_of_extent(std::span<const Word> extent, const core::AttributeColumns& columns,
                      std::span<const Word> within, std::span<Word> closed, std::vector<std::uint32_t>& scratch) {
  std::copy(within.begin(), within.end(), closed.begin());
  scratch.clear();
  for (std::size_t g = 0; g < extent.size(); ++g)
    if (extent[g] != 0) scratch.push_back(static_cast<std::uint32_t>(g));
  const std::uint64_t n = columns.n_attributes();
  for (std::size_t w = 0; w < closed.size(); ++w) {
    Word outside = ~within[w];
    if (w + 1 == closed.size() && n % kWordBits != 0) outside &= (Word{1} << (n % kWordBits)) - 1;
    for (; outside != 0; outside &= outside - 1) {
      const std::size_t m = w * kWordBits + static_cast<std::size_t>(std::countr_zero(outside));
      const Word* column = columns.column(m).data();
      bool holds = true;
      for (const std::uint32_t g : scratch)
        if ((extent[g] & ~column[g]) != 0) {
          holds = false;
          break;
        }
      if (holds) closed[w] |= Word{1} << (m % kWordBits);
    }
  }
}

}  // namespace tessara::engine::column_closure
