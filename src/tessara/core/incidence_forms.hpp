#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "tessara/core/context.hpp"
#include "tessara/core/sets.hpp"
#include "tessara/core/sparse_incidence.hpp"

namespace tessara::core {

// The two forms a context's incidence can take, and the way from one to the
// other: packed bit rows (what the close-by-one kernels walk) and sorted index
// lists (SparseIncidence, what transaction data needs).

// The bytes the packed rows of a context of this shape take: one 64-bit word
// per 64 attributes (rounded up) for every object.
std::uint64_t packed_bytes(std::uint64_t n_objects, std::uint64_t n_attributes) noexcept;

// The bytes the sparse form takes: two 32-bit indices per cross (one in the
// rows, one in the columns) and a 64-bit offset per object and per attribute.
std::uint64_t sparse_bytes(std::uint64_t n_objects, std::uint64_t n_attributes, std::uint64_t nnz) noexcept;

// Packed rows are built from a sparse incidence only up to this size; past it
// the dense form is refused rather than allowed to exhaust memory.
inline constexpr std::uint64_t kMaxPackedBytes = std::uint64_t{1} << 31;

// Contexts whose packed rows take at most this many bytes are always stored
// packed: every kernel is fast on them, whatever their density.
inline constexpr std::uint64_t kAlwaysPackedBytes = std::uint64_t{1} << 20;

// The storage rule: sparse when the packed rows would take more than
// kAlwaysPackedBytes and more than the sparse lists. The lists take about 8
// bytes a cross and the rows n_attributes / 8 bytes an object, so on large
// contexts this means a density below about 1/64.
bool prefers_sparse(std::uint64_t n_objects, std::uint64_t n_attributes, std::uint64_t nnz) noexcept;

// A dense form that was asked for and would be too large.
struct PackedTooLarge {
  std::uint64_t objects;
  std::uint64_t attributes;
  std::uint64_t bytes;

  // "the dense form of this context (O objects x A attributes) would take
  // N bytes (X MiB), more than the limit of 2048 MiB; ..."
  std::string message() const;
};

// The sparse form of packed rows of n_attributes bits each.
SparseIncidence sparse_incidence_of(std::span<const AttributeSet> rows, std::uint32_t n_attributes);
SparseIncidence sparse_incidence_of(const Context& context);

// The packed rows of a sparse incidence, or PackedTooLarge past kMaxPackedBytes.
std::expected<std::vector<AttributeSet>, PackedTooLarge> packed_rows_of(const SparseIncidence& incidence);

}  // namespace tessara::core
