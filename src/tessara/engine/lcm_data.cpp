#include "tessara/engine/lcm_data.hpp"

#include <algorithm>
#include <numeric>

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
  for (std::uint32_t g = 0; g < n_objects_; ++g) {
    const std::span<const std::uint32_t> attributes = incidence.row(g);
    std::uint32_t* out = row_items_.data() + row_offsets_[g];
    for (std::size_t k = 0; k < attributes.size(); ++k) out[k] = item_of_[attributes[k]];
    std::sort(out, out + attributes.size());
    if (attributes.size() == n_items_) some_row_full_ = true;
  }
}

}  // namespace tessara::engine
