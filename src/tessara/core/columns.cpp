#include "tessara/core/columns.hpp"

namespace tessara::core {

AttributeColumns::AttributeColumns(const Context& context)
    : n_objects_(context.n_objects()),
      n_attributes_(context.n_attributes()),
      stride_(ObjectSet::word_count(context.n_objects())),
      words_(stride_ * context.n_attributes(), Word{0}) {
  const auto rows = context.rows();
  for (std::size_t g = 0; g < rows.size(); ++g) {
    const Word object_bit = Word{1} << (g % 64);
    const std::size_t object_word = g / 64;
    rows[g].for_each_member([&](std::uint32_t j) { words_[j * stride_ + object_word] |= object_bit; });
  }
}

}  // namespace tessara::core
