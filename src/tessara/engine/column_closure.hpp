#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/columns.hpp"

// Derivation closures computed from the attribute columns of a context, for
// walks that grow an attribute set step by step and keep its extent.
namespace tessara::engine::column_closure {

using Word = core::AttributeColumns::Word;

// extent &= column(a) for every attribute a in `added`; stops early once the
// extent is empty.
void restrict_extent(std::span<Word> extent, const core::AttributeColumns& columns, std::span<const Word> added);

// Writes into `closed` the intent of `extent`, given a set it is known to
// contain (`within`, usually the set whose extent this is). A small extent
// intersects its objects' rows, stopping once nothing outside `within` is
// left; a large one tests the columns of the attributes outside `within`, each
// over the nonzero words of the extent, stopping at the first object that
// lacks it. `scratch` holds those word positions between calls.
void intent_of_extent(std::span<const Word> extent, const core::AttributeColumns& columns,
                      std::span<const core::AttributeSet> rows, std::span<const Word> within, std::span<Word> closed,
                      std::vector<std::uint32_t>& scratch);

}  // namespace tessara::engine::column_closure
