#include "tessara/engine/lcm_data.hpp"

#include <algorithm>
#include <numeric>
#include <vector>

namespace tessara::engine {

LcmData::LcmData(const core::SparseIncidence& incidence)
    : n_objects_(incidence.n_objects()),
      n_items_(incidence.n_attributes()),
      attribute_of_(n_items_),
      item_of_(n_items_),
      row_offsets_(incidence.row_offsets().begin(), incidence.row_offsets().end()),
      row_items_(incidence.nnz()) {
  const auto frequency = [&](std::uint32_t m) { return incidence.column(m).size(); };
  std::iota(attribute_of_.begin(), attribute_of_.end(), 0u);
  std::stable_sort(attribute_of_.begin(), attribute_of_.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return frequency(a) < frequency(b); });
  for (std::uint32_t item = 0; item < n_items_; ++item) item_of_[attribute_of_[item]] = item;
  // The rows are filled column by column in item order, so each comes out
  // ascending without a sort: one pass over the crosses.
  std::vector<std::uint64_t> next(row_offsets_.begin(), row_offsets_.end() - (row_offsets_.empty() ? 0 : 1));
  for (std::uint32_t item = 0; item < n_items_; ++item)
    for (const std::uint32_t g : incidence.column(attribute_of_[item])) row_items_[next[g]++] = item;
  for (std::uint32_t g = 0; g < n_objects_; ++g)
    if (row_offsets_[g + 1] - row_offsets_[g] == n_items_) some_row_full_ = true;
}

}  // namespace tessara::engine
