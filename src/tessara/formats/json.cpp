#include "tessara/formats/json.hpp"

namespace tessara::formats {

// Placeholder until the json reader lands.
std::expected<core::Context, ParseError> read_json(std::string_view) {
  return std::unexpected(ParseError::invalid("json", "the json reader is not available in this build"));
}

}  // namespace tessara::formats
