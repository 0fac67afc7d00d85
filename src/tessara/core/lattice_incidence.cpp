#include "tessara/core/lattice_incidence.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

// Transposes a 64 x 64 bit matrix in place: bit c of word r moves to bit r of
// word c. Six rounds swap ever smaller off-diagonal blocks (32 x 32, then
// 16 x 16, ...), each a shift, a mask and two xors per pair of words.
void transpose_block(std::array<std::uint64_t, 64>& a) noexcept {
  std::uint64_t mask = 0x00000000FFFFFFFFull;
  for (unsigned j = 32; j != 0; j >>= 1, mask ^= mask << j) {
    for (unsigned k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const std::uint64_t t = ((a[k] >> j) ^ a[k | j]) & mask;
      a[k | j] ^= t;
      a[k] ^= t << j;
    }
  }
}

}  // namespace

// The table is cut into blocks of 64 sets by one word; each block that holds
// a member is transposed as a 64 x 64 bit matrix and its 64 words are stored
// as one word of 64 result sets. Empty blocks, most of a sparse table, cost a
// test of their words.
PackedSets PackedSets::transposed() const {
  PackedSets out(static_cast<std::size_t>(capacity_), count_);
  std::array<Word, 64> block{};
  for (std::size_t first = 0; first < count_; first += 64) {
    const std::size_t rows = std::min<std::size_t>(64, count_ - first);
    const std::size_t out_word = first / 64;
    for (std::size_t w = 0; w < stride_; ++w) {
      Word any = 0;
      for (std::size_t r = 0; r < rows; ++r) {
        block[r] = words_[(first + r) * stride_ + w];
        any |= block[r];
      }
      if (any == 0) continue;
      for (std::size_t r = rows; r < 64; ++r) block[r] = 0;
      transpose_block(block);
      // Members past the capacity never occur, so the words of result sets
      // past it are zero and are not stored.
      const std::size_t columns = std::min<std::size_t>(64, out.count_ - w * 64);
      for (std::size_t c = 0; c < columns; ++c) out.words_[(w * 64 + c) * out.stride_ + out_word] = block[c];
    }
  }
  return out;
}

PackedSets attribute_columns_of(const ConceptList& concepts) {
  const std::uint64_t n_attributes = concepts.n_attributes();
  PackedSets columns(static_cast<std::size_t>(n_attributes), concepts.n_objects());
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::vector<std::size_t> widest(static_cast<std::size_t>(n_attributes), kNone);
  std::vector<std::uint64_t> widest_size(static_cast<std::size_t>(n_attributes), 0);
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    const std::uint64_t size = concepts.extent_size(i);
    concepts[i].intent.for_each_member([&](std::uint32_t m) {
      if (widest[m] == kNone || size > widest_size[m]) {
        widest[m] = i;
        widest_size[m] = size;
      }
    });
  }
  for (std::size_t m = 0; m < widest.size(); ++m) {
    if (widest[m] == kNone) throw InternalFault(fault_text::kIndexOutOfRange);
    concepts.extent_into(widest[m], columns.mutable_set(m));
  }
  return columns;
}

PackedSets attribute_columns_of(const Context& context) {
  PackedSets columns(static_cast<std::size_t>(context.n_attributes()), context.n_objects());
  const auto rows = context.rows();
  for (std::size_t g = 0; g < rows.size(); ++g) {
    const PackedSets::Word bit = PackedSets::Word{1} << (g % 64);
    rows[g].for_each_member([&](std::uint32_t m) { columns.mutable_set(m)[g / 64] |= bit; });
  }
  return columns;
}

}  // namespace tessara::core
