#include "tessara/layout/number_text.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "tessara/core/fault.hpp"

namespace tessara::layout {
namespace {

// The largest finite double written in fixed notation has 309 integer digits;
// with sign, point and fraction the text stays well inside this buffer.
using NumberBuffer = std::array<char, 400>;

void append_result(std::string& out, const NumberBuffer& buffer, std::to_chars_result result) {
  if (result.ec != std::errc{}) throw core::InternalFault("number does not fit its text buffer");
  out.append(buffer.data(), static_cast<const char*>(result.ptr));
}

}  // namespace

void append_fixed1(std::string& out, double value) {
  // Every coordinate of the fixed grid is a whole number: those print as
  // their integer digits and ".0", which is what the general conversion gives
  // for them, in a fraction of its time. Negative zero keeps its sign there.
  constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
  if (std::fabs(value) < kExactIntegers && value == std::trunc(value) && !(value == 0.0 && std::signbit(value))) {
    std::array<char, 24> digits;
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<std::int64_t>(value));
    out.append(digits.data(), result.ptr);
    out.append(".0");
    return;
  }
  NumberBuffer buffer;
  append_result(out, buffer,
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 1));
}

void append_shortest(std::string& out, double value) {
  NumberBuffer buffer;
  append_result(out, buffer,
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed));
}

}  // namespace tessara::layout
