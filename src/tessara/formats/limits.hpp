#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// Readers whose input can declare a dense matrix far larger than itself (one
// huge FIMI item id, many FCA-XML declarations) check its size before building
// any row, so memory stays bounded by the input rather than by numbers in it.
inline constexpr std::uint64_t kMaxIncidenceCells = std::uint64_t{1} << 34;
inline constexpr std::uint64_t kMaxIndexCount = (std::uint64_t{1} << 32) - 1;

// Nothing when a context of this size may be built; otherwise the Invalid error
// for the given format.
std::optional<ParseError> check_context_size(std::string_view format, std::uint64_t objects, std::uint64_t attributes);

}  // namespace tessara::formats
