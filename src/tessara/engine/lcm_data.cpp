#include "tessara/engine/lcm_data.hpp"

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

namespace tessara::engine {

LcmData::LcmData(const core::SparseIncidence& incidence, unsigned threads, std::uint64_t split_from)
    : n_objects_(incidence.n_objects()),
      n_items_(incidence.n_attributes()),
      attribute_of_(n_items_),
      item_of_(n_items_),
      row_offsets_(incidence.row_offsets().begin(), incidence.row_offsets().end()),
      row_items_(incidence.nnz()),
      threads_(threads),
      split_from_(split_from) {
  const auto frequency = [&](std::uint32_t m) { return incidence.column(m).size(); };
  std::iota(attribute_of_.begin(), attribute_of_.end(), 0u);
  std::stable_sort(attribute_of_.begin(), attribute_of_.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return frequency(a) < frequency(b); });
  for (std::uint32_t item = 0; item < n_items_; ++item) item_of_[attribute_of_[item]] = item;
  if (n_objects_ > 1 && splits(incidence.nnz())) {
    // Two halves of about the same number of crosses.
    const auto middle = static_cast<std::uint32_t>(
        std::lower_bound(row_offsets_.begin(), row_offsets_.end(), incidence.nnz() / 2) - row_offsets_.begin());
    const std::uint32_t split = std::clamp<std::uint32_t>(middle, 1, n_objects_ - 1);
    std::jthread second([&] { rename_rows(incidence, split, n_objects_); });
    rename_rows(incidence, 0, split);
  } else {
    rename_rows(incidence, 0, n_objects_);
  }
  for (std::uint32_t g = 0; g < n_objects_; ++g)
    if (row_offsets_[g + 1] - row_offsets_[g] == n_items_) some_row_full_ = true;
}

// The rows are filled column by column in item order, so each comes out
// ascending without a sort: one pass over the crosses. A column's objects
// are ascending, so the part of it in [first, last) is found by bisection.
void LcmData::rename_rows(const core::SparseIncidence& incidence, std::uint32_t first, std::uint32_t last) {
  if (first >= last) return;
  std::vector<std::uint64_t> next(row_offsets_.begin() + first, row_offsets_.begin() + last);
  const bool whole = first == 0 && last == n_objects_;
  for (std::uint32_t item = 0; item < n_items_; ++item) {
    std::span<const std::uint32_t> column = incidence.column(attribute_of_[item]);
    if (!whole) {
      const auto begin = std::lower_bound(column.begin(), column.end(), first);
      const auto end = std::lower_bound(begin, column.end(), last);
      column = {begin, end};
    }
    for (const std::uint32_t g : column) row_items_[next[g - first]++] = item;
  }
}

}  // namespace tessara::engine
