#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a Burmeister CXT.
std::expected<core::Context, ParseError> read_cxt(std::string_view text);

}  // namespace tessara::formats
