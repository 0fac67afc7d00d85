#include "tessara/engine/column_closure.hpp"

#include <algorithm>
#include <bit>

namespace tessara::engine::column_closure {
namespace {

constexpr std::size_t kWordBits = 64;
constexpr std::size_t kRowCostFactor = 1;

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

namespace {

// The attributes shared by the objects of `extent`, by intersecting rows.
void intersect_rows(std::span<const Word> extent, std::span<const core::AttributeSet> rows,
                    std::span<const Word> within, std::span<Word> closed) {
  std::fill(closed.begin(), closed.end(), ~Word{0});
  for (std::size_t g = 0; g < extent.size(); ++g) {
    for (Word objects = extent[g]; objects != 0; objects &= objects - 1) {
      const auto row = rows[g * kWordBits + static_cast<std::size_t>(std::countr_zero(objects))].words();
      Word beyond = 0;
      for (std::size_t w = 0; w < closed.size(); ++w) beyond |= (closed[w] &= row[w]) & ~within[w];
      if (beyond == 0) return;
    }
  }
}

}  // namespace

void intent_of_extent(std::span<const Word> extent, const core::AttributeColumns& columns,
                      std::span<const core::AttributeSet> rows, std::span<const Word> within, std::span<Word> closed,
                      std::vector<std::uint32_t>& scratch) {
  const std::uint64_t n = columns.n_attributes();
  scratch.clear();
  for (std::size_t g = 0; g < extent.size(); ++g)
    if (extent[g] != 0) scratch.push_back(static_cast<std::uint32_t>(g));
  // Rows cost one pass over the intent words per object, columns about one
  // word per attribute outside `within`: take rows while the objects are few.
  std::uint64_t untested = n;
  for (const Word word : within) untested -= static_cast<std::uint64_t>(std::popcount(word));
  const std::uint64_t few = untested / (kRowCostFactor * std::max<std::size_t>(closed.size(), 1));
  std::uint64_t objects = 0;
  for (std::size_t i = 0; i < scratch.size() && objects <= few; ++i)
    for (Word word = extent[scratch[i]]; word != 0 && objects <= few; word &= word - 1) ++objects;
  if (objects != 0 && objects <= few) {
    intersect_rows(extent, rows, within, closed);
    return;
  }
  std::copy(within.begin(), within.end(), closed.begin());
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
