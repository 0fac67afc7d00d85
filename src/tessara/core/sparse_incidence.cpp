#include "tessara/core/sparse_incidence.hpp"

#include <utility>

#include "tessara/core/fault.hpp"

namespace tessara::core {

SparseIncidence SparseIncidence::from_rows(std::uint32_t n_objects, std::uint32_t n_attributes,
                                           std::vector<std::uint64_t> row_offsets,
                                           std::vector<std::uint32_t> row_attributes) {
  if (row_offsets.size() != std::uint64_t{n_objects} + 1 || row_offsets.front() != 0 ||
      row_offsets.back() != row_attributes.size()) {
    throw InternalFault(fault_text::kIndexOutOfRange);
  }
  // One pass checks the rows and counts each attribute's objects; a second
  // pass (a counting sort by attribute) fills the columns, which come out
  // ascending because the objects are visited in order.
  std::vector<std::uint64_t> column_offsets(std::uint64_t{n_attributes} + 1, 0);
  for (std::uint32_t g = 0; g < n_objects; ++g) {
    const std::uint64_t begin = row_offsets[g];
    const std::uint64_t end = row_offsets[g + 1];
    if (end < begin) throw InternalFault(fault_text::kIndexOutOfRange);
    for (std::uint64_t i = begin; i < end; ++i) {
      const std::uint32_t m = row_attributes[i];
      if (m >= n_attributes || (i > begin && row_attributes[i - 1] >= m)) {
        throw InternalFault(fault_text::kIndexOutOfRange);
      }
      ++column_offsets[m + 1];
    }
  }
  for (std::uint32_t m = 0; m < n_attributes; ++m) column_offsets[m + 1] += column_offsets[m];
  std::vector<std::uint32_t> column_objects(row_attributes.size());
  std::vector<std::uint64_t> fill(column_offsets.begin(), column_offsets.end() - 1);
  for (std::uint32_t g = 0; g < n_objects; ++g) {
    for (std::uint64_t i = row_offsets[g]; i < row_offsets[g + 1]; ++i) {
      column_objects[fill[row_attributes[i]]++] = g;
    }
  }

  SparseIncidence incidence;
  incidence.n_objects_ = n_objects;
  incidence.n_attributes_ = n_attributes;
  incidence.row_offsets_ = std::move(row_offsets);
  incidence.row_attributes_ = std::move(row_attributes);
  incidence.column_offsets_ = std::move(column_offsets);
  incidence.column_objects_ = std::move(column_objects);
  return incidence;
}

std::span<const std::uint32_t> SparseIncidence::row(std::uint32_t g) const {
  if (g >= n_objects_) throw InternalFault(fault_text::kIndexOutOfRange);
  return std::span<const std::uint32_t>(row_attributes_).subspan(row_offsets_[g], row_offsets_[g + 1] - row_offsets_[g]);
}

std::span<const std::uint32_t> SparseIncidence::column(std::uint32_t m) const {
  if (m >= n_attributes_) throw InternalFault(fault_text::kIndexOutOfRange);
  return std::span<const std::uint32_t>(column_objects_)
      .subspan(column_offsets_[m], column_offsets_[m + 1] - column_offsets_[m]);
}

}  // namespace tessara::core
