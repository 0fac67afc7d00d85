#include "tessara/layout/number_text.hpp"

#include <array>
#include <charconv>
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
  NumberBuffer buffer;
  append_result(out, buffer,
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 1));
}

void append_shortest(std::string& out, double value) {
  NumberBuffer buffer;
  append_result(out, buffer, std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed));
}

}  // namespace tessara::layout
