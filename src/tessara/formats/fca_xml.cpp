#include "tessara/formats/fca_xml.hpp"

namespace tessara::formats {

// Placeholder until the fca-xml reader lands.
std::expected<core::Context, ParseError> read_fca_xml(std::string_view) {
  return std::unexpected(ParseError::invalid("fca-xml", "the fca-xml reader is not available in this build"));
}

}  // namespace tessara::formats
