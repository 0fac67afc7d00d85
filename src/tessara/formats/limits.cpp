#include "tessara/formats/limits.hpp"

#include <string>

namespace tessara::formats {

std::optional<ParseError> check_context_size(std::string_view format, std::uint64_t objects, std::uint64_t attributes) {
  const bool too_many_indices = objects > kMaxIndexCount || attributes > kMaxIndexCount;
  // objects * attributes > limit, without overflowing.
  const bool too_many_cells = attributes != 0 && objects > kMaxIncidenceCells / attributes;
  if (!too_many_indices && !too_many_cells) return std::nullopt;
  return ParseError::invalid(format, "context of " + std::to_string(objects) + " objects and " +
                                         std::to_string(attributes) +
                                         " attributes is too large (the limit is 17179869184 incidence cells "
                                         "and 4294967295 objects or attributes)");
}

}  // namespace tessara::formats
