#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "tessara/core/context.hpp"

// The JSON document layer under the JSON reader: an event-driven walk over
// the JSON syntax layer that accepts exactly the two records of the document,
// in object or array form, and keeps nothing else.
namespace tessara::formats::json_document {

// The three lists of the context record, as the document gives them.
struct Payload {
  std::vector<std::string> objects;
  std::vector<std::string> attributes;
  std::vector<core::IncidenceRow> incidence;
};

// Parses one document followed by nothing but JSON white space. Failures come
// back as the layer's text, ending in the line and column where they happened.
std::expected<Payload, std::string> parse(std::string_view bytes);

}  // namespace tessara::formats::json_document
