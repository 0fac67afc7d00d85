#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a comma- or tab-separated table.
std::expected<core::Context, ParseError> read_csv(std::string_view text);

}  // namespace tessara::formats
