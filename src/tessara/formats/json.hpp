#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a JSON document.
std::expected<core::Context, ParseError> read_json(std::string_view bytes);

}  // namespace tessara::formats
