#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a FCA-XML document.
std::expected<core::Context, ParseError> read_fca_xml(std::string_view text);

}  // namespace tessara::formats
