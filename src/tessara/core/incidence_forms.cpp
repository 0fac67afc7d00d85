#include "tessara/core/incidence_forms.hpp"

#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::core {

std::uint64_t packed_bytes(std::uint64_t n_objects, std::uint64_t n_attributes) noexcept {
  return n_objects * AttributeSet::word_count(n_attributes) * sizeof(std::uint64_t);
}

std::uint64_t sparse_bytes(std::uint64_t n_objects, std::uint64_t n_attributes, std::uint64_t nnz) noexcept {
  return nnz * 2 * sizeof(std::uint32_t) + (n_objects + n_attributes + 2) * sizeof(std::uint64_t);
}

bool prefers_sparse(std::uint64_t n_objects, std::uint64_t n_attributes, std::uint64_t nnz) noexcept {
  const std::uint64_t packed = packed_bytes(n_objects, n_attributes);
  return packed > kAlwaysPackedBytes && packed > sparse_bytes(n_objects, n_attributes, nnz);
}

std::string PackedTooLarge::message() const {
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  return "the dense form of this context (" + std::to_string(objects) + " objects x " + std::to_string(attributes) +
         " attributes) would take " + std::to_string(bytes) + " bytes (" + std::to_string((bytes + kMiB - 1) / kMiB) +
         " MiB), more than the limit of " + std::to_string(kMaxPackedBytes / kMiB) +
         " MiB; use the operations that work on sparse contexts, or select fewer objects or attributes first";
}

SparseIncidence sparse_incidence_of(std::span<const AttributeSet> rows, std::uint32_t n_attributes) {
  std::vector<std::uint64_t> offsets;
  offsets.reserve(rows.size() + 1);
  offsets.push_back(0);
  std::uint64_t nnz = 0;
  for (const AttributeSet& row : rows) {
    if (row.capacity() != n_attributes) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    nnz += row.count();
  }
  std::vector<std::uint32_t> attributes;
  attributes.reserve(nnz);
  for (const AttributeSet& row : rows) {
    row.for_each_member([&attributes](std::uint32_t m) { attributes.push_back(m); });
    offsets.push_back(attributes.size());
  }
  return SparseIncidence::from_rows(static_cast<std::uint32_t>(rows.size()), n_attributes, std::move(offsets),
                                    std::move(attributes));
}

SparseIncidence sparse_incidence_of(const Context& context) {
  constexpr std::uint64_t kMaxIndex = std::numeric_limits<std::uint32_t>::max();
  if (context.n_objects() > kMaxIndex || context.n_attributes() > kMaxIndex)
    throw InternalFault(fault_text::kIndexOutOfRange);
  return sparse_incidence_of(context.rows(), static_cast<std::uint32_t>(context.n_attributes()));
}

std::expected<std::vector<AttributeSet>, PackedTooLarge> packed_rows_of(const SparseIncidence& incidence) {
  const std::uint64_t bytes = packed_bytes(incidence.n_objects(), incidence.n_attributes());
  if (bytes > kMaxPackedBytes)
    return std::unexpected(PackedTooLarge{incidence.n_objects(), incidence.n_attributes(), bytes});
  std::vector<AttributeSet> rows;
  rows.reserve(incidence.n_objects());
  for (std::uint32_t g = 0; g < incidence.n_objects(); ++g) {
    AttributeSet row = AttributeSet::empty(incidence.n_attributes());
    const auto words = row.mutable_words();
    for (const std::uint32_t m : incidence.row(g)) words[m / 64] |= std::uint64_t{1} << (m % 64);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace tessara::core
