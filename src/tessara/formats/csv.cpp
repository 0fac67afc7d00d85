#include "tessara/formats/csv.hpp"

namespace tessara::formats {

// Placeholder until the csv reader lands.
std::expected<core::Context, ParseError> read_csv(std::string_view) {
  return std::unexpected(ParseError::invalid("csv", "the csv reader is not available in this build"));
}

}  // namespace tessara::formats
