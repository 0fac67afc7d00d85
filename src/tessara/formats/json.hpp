#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads a JSON document {"tessara_version": ..., "context": {"objects": [...],
// "attributes": [...], "incidence": [[true, false, ...], ...]}}, each record also
// accepted as an array of its values in that order. Takes raw bytes: the JSON
// layer checks the encoding of strings itself.
std::expected<core::Context, ParseError> read_json(std::string_view bytes);

}  // namespace tessara::formats
