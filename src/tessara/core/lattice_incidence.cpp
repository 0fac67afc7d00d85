#include "tessara/core/lattice_incidence.hpp"

#include <bit>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::core {
PackedSets PackedSets::transposed() const {
  PackedSets out(static_cast<std::size_t>(capacity_), count_);
  for (std::size_t i = 0; i < count_; ++i) {
    const Word bit = Word{1} << (i % 64);
    const std::size_t word = i / 64;
    const auto set = (*this)[i];
    for (std::size_t w = 0; w < set.size(); ++w) {
      for (Word rest = set[w]; rest != 0; rest &= rest - 1) {
        const std::size_t j = w * 64 + static_cast<std::size_t>(std::countr_zero(rest));
        out.words_[j * out.stride_ + word] |= bit;
      }
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
    const std::uint64_t size = count_bits(concepts.extent_words(i));
    concepts[i].intent.for_each_member([&](std::uint32_t m) {
      if (widest[m] == kNone || size > widest_size[m]) {
        widest[m] = i;
        widest_size[m] = size;
      }
    });
  }
  for (std::size_t m = 0; m < widest.size(); ++m) {
    if (widest[m] == kNone) throw InternalFault(fault_text::kIndexOutOfRange);
    const auto extent = concepts.extent_words(widest[m]);
    const auto column = columns.mutable_set(m);
    for (std::size_t w = 0; w < extent.size(); ++w) column[w] = extent[w];
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
