#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessara::core {

// The incidence of a context stored as sorted index lists in both directions:
// the attributes of each object (rows) and the objects of each attribute
// (columns), each as one flat array with offsets (compressed sparse rows).
// Memory grows with the number of crosses, not with objects x attributes, so
// transaction data with tens of thousands of items fits where packed bit rows
// would not. Immutable once built.
class SparseIncidence {
 public:
  SparseIncidence() = default;

  // Builds both directions from the rows. row_offsets has n_objects + 1
  // entries, starting at 0 and never decreasing, ending at
  // row_attributes.size(); the attributes of object g are
  // row_attributes[row_offsets[g], row_offsets[g + 1]), each below
  // n_attributes, strictly ascending. A broken precondition is an internal
  // fault: callers validate their input first.
  static SparseIncidence from_rows(std::uint32_t n_objects, std::uint32_t n_attributes,
                                   std::vector<std::uint64_t> row_offsets,
                                   std::vector<std::uint32_t> row_attributes);

  std::uint32_t n_objects() const noexcept { return n_objects_; }
  std::uint32_t n_attributes() const noexcept { return n_attributes_; }
  // The number of crosses.
  std::uint64_t nnz() const noexcept { return row_attributes_.size(); }

  // The attributes of object g, ascending.
  std::span<const std::uint32_t> row(std::uint32_t g) const;
  // The objects of attribute m, ascending.
  std::span<const std::uint32_t> column(std::uint32_t m) const;

  std::span<const std::uint64_t> row_offsets() const noexcept { return row_offsets_; }
  std::span<const std::uint32_t> row_attributes() const noexcept { return row_attributes_; }
  std::span<const std::uint64_t> column_offsets() const noexcept { return column_offsets_; }
  std::span<const std::uint32_t> column_objects() const noexcept { return column_objects_; }

  friend bool operator==(const SparseIncidence&, const SparseIncidence&) = default;

 private:
  std::uint32_t n_objects_ = 0;
  std::uint32_t n_attributes_ = 0;
  std::vector<std::uint64_t> row_offsets_{0};
  std::vector<std::uint32_t> row_attributes_;
  std::vector<std::uint64_t> column_offsets_{0};
  std::vector<std::uint32_t> column_objects_;
};

}  // namespace tessara::core
