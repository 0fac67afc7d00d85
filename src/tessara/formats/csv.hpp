#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a comma- or tab-separated table: a header record naming the attributes
// (its first field is a corner label), then one record per object, its name
// first and then one cell per attribute. A cell is true when its trimmed text is
// 1, x, X, y, Y, true, True, TRUE, yes, Yes or YES. The delimiter is a tab when
// the first non-blank line holds more tabs than commas, else a comma.
std::expected<core::Context, ParseError> read_csv(std::string_view text);

}  // namespace tessara::formats
