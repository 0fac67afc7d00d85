#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

enum class InputFormat { Cxt, Csv, Fimi, FcaXml, Json };

// The format name shown in messages ("cxt", "csv", "fimi", "fca-xml"; empty for Json).
std::string_view format_name(InputFormat format) noexcept;

// Picks the format from the file name's extension or, failing that, from the
// first line of head (at most the first 256 bytes of the input).
std::optional<InputFormat> detect_format(std::string_view filename, std::string_view head);

// Detects the format and runs its reader over the whole input.
std::expected<core::Context, ParseError> read_context(std::string_view bytes, std::string_view filename);

}  // namespace tessara::formats
