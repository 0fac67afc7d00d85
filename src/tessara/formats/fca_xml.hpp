#pragma once

#include <expected>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Reads an FCA-XML document: Attribute elements declare attribute names (their
// Id or Name key; outside an object, the text of a Name child when they carry
// neither key), Object elements hold a Name and HasAttribute references to
// positions in the declaration order. Values are unescaped one by one when they
// are used; the document type and any entity it declares are never read.
std::expected<core::Context, ParseError> read_fca_xml(std::string_view text);

}  // namespace tessara::formats
