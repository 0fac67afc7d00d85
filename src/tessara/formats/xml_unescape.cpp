#include "tessara/formats/xml_unescape.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "tessara/formats/text.hpp"

namespace tessara::formats::xml {
namespace {

constexpr std::array<std::pair<std::string_view, char>, 5> kPredefined{
    {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}}};

// The characters XML allows: tab, line feed, carriage return and the scalar
// values from U+0020 except the surrogates, U+FFFE and U+FFFF.
bool is_xml_char(std::uint32_t c) noexcept {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

int digit_value(char c, std::uint32_t base) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The character of a reference body "#233" or "#xE9", if it names one XML allows.
std::optional<char32_t> character_of(std::string_view body) noexcept {
  body.remove_prefix(1);
  const std::uint32_t base = body.starts_with('x') ? 16 : 10;
  if (base == 16) body.remove_prefix(1);
  if (body.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : body) {
    const int digit = digit_value(c, base);
    // Stopping past U+10FFFF keeps the value from overflowing.
    if (digit < 0 || value > 0x10FFFF) return std::nullopt;
    value = value * base + static_cast<std::uint32_t>(digit);
  }
  if (!is_xml_char(value)) return std::nullopt;
  return static_cast<char32_t>(value);
}

std::string reference_failure(std::string_view what, std::string_view reference, std::uint64_t position) {
  return std::string(what) + " " + text::quoted(reference) + " at position " + std::to_string(position);
}

}  // namespace

std::expected<std::string, std::string> unescape(std::string_view raw, std::uint64_t raw_position) {
  std::string out;
  out.reserve(raw.size());
  std::size_t at = 0;
  for (std::size_t amp = raw.find('&'); amp != std::string_view::npos; amp = raw.find('&', at)) {
    out.append(raw.substr(at, amp - at));
    // A reference ends at ';'; white space, '<' or another '&' before it means
    // the reference is not complete.
    const std::size_t end = std::min(raw.find_first_of("; \t\r\n<&", amp + 1), raw.size());
    const std::string_view reference = raw.substr(amp, end + 1 - amp);
    const std::uint64_t position = raw_position + amp;
    if (end == raw.size() || raw[end] != ';')
      return std::unexpected(reference_failure("unterminated reference", raw.substr(amp, end - amp), position));
    const std::string_view body = raw.substr(amp + 1, end - amp - 1);
    if (body.starts_with('#')) {
      const auto character = character_of(body);
      if (!character) return std::unexpected(reference_failure("invalid character reference", reference, position));
      text::append_code_point(out, *character);
    } else {
      const auto* entity = std::find_if(kPredefined.begin(), kPredefined.end(),
                                        [&](const auto& predefined) { return predefined.first == body; });
      if (entity == kPredefined.end())
        return std::unexpected(reference_failure("undefined entity", reference, position));
      out += entity->second;
    }
    at = end + 1;
  }
  out.append(raw.substr(at));
  return out;
}

}  // namespace tessara::formats::xml
