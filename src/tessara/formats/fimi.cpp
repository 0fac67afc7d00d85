#include "tessara/formats/fimi.hpp"

namespace tessara::formats {

// Placeholder until the fimi reader lands.
std::expected<core::Context, ParseError> read_fimi(std::string_view) {
  return std::unexpected(ParseError::invalid("fimi", "the fimi reader is not available in this build"));
}

}  // namespace tessara::formats
