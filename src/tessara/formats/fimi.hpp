#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a FIMI transaction file: one transaction of unsigned 32-bit item ids
// per line (blank lines and lines starting with # skipped). Objects are named
// g0, g1, ... and attributes m0 ... up to the largest id. Contexts too large to
// build are refused before any row is allocated.
std::expected<core::Context, ParseError> read_fimi(std::string_view text);

}  // namespace tessara::formats
