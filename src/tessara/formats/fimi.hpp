#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a FIMI transaction file.
std::expected<core::Context, ParseError> read_fimi(std::string_view text);

}  // namespace tessara::formats
