#include "tessara/formats/text.hpp"

#include <utf8proc.h>

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace tessara::formats::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

// How a UTF-8 sequence starting with `lead` continues: its total length and the
// allowed range of its second byte. The narrowed ranges after E0, ED, F0 and F4
// exclude overlong forms, surrogates and values beyond U+10FFFF. A length of 0
// marks a byte that cannot start a sequence.
struct LeadInfo {
  unsigned length;
  unsigned char second_low;
  unsigned char second_high;
};

constexpr LeadInfo lead_info(unsigned char lead) noexcept {
  if (lead < 0x80) return {1, 0, 0};
  if (lead < 0xC2) return {0, 0, 0};
  if (lead < 0xE0) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead < 0xF0) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead < 0xF4) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// The outcome of looking at one sequence: how many bytes it takes and, when it
// is well formed, its code point. A malformed sequence covers its maximal
// subpart (the longest prefix that could still have become valid), at least
// one byte, and has no value.
struct Step {
  std::size_t length;
  bool valid;
  char32_t code_point;
};

Step step_at(std::string_view bytes, std::size_t pos) noexcept {
  const auto lead = static_cast<unsigned char>(bytes[pos]);
  const LeadInfo info = lead_info(lead);
  if (info.length == 1) return {1, true, lead};
  if (info.length == 0) return {1, false, 0};

  char32_t value = lead & (0xFF >> (info.length + 1));
  for (unsigned i = 1; i < info.length; ++i) {
    if (pos + i >= bytes.size()) return {i, false, 0};
    const auto byte = static_cast<unsigned char>(bytes[pos + i]);
    const bool fits = i == 1 ? (byte >= info.second_low && byte <= info.second_high) : is_continuation(byte);
    if (!fits) return {i, false, 0};
    value = (value << 6) | (byte & 0x3F);
  }
  return {info.length, true, value};
}

bool is_ascii_white_space(unsigned char byte) noexcept { return byte == ' ' || (byte >= 0x09 && byte <= 0x0D); }

// Decodes the code point that ends right before text[end] in valid UTF-8 and
// returns where it starts.
std::size_t start_of_previous(std::string_view text, std::size_t end) noexcept {
  std::size_t start = end - 1;
  while (start > 0 && is_continuation(static_cast<unsigned char>(text[start]))) --start;
  return start;
}

bool is_non_printable(char32_t code_point) noexcept {
  switch (utf8proc_category(static_cast<utf8proc_int32_t>(code_point))) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
      return true;
    case UTF8PROC_CATEGORY_ZS:
      return code_point != U' ';
    default:
      return false;
  }
}

// Grapheme_Extend, read from utf8proc's grapheme-break class: the Extend class
// is Grapheme_Extend together with the emoji skin-tone modifiers, and those
// modifiers are the only members of category Sk in it, so they are left out.
bool is_grapheme_extend(char32_t code_point) noexcept {
  const auto value = static_cast<utf8proc_int32_t>(code_point);
  return utf8proc_get_property(value)->boundclass == UTF8PROC_BOUNDCLASS_EXTEND &&
         utf8proc_category(value) != UTF8PROC_CATEGORY_SK;
}

void append_hex_escape(std::string& out, char32_t code_point) {
  std::array<char, 8> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), std::uint32_t{code_point}, 16).ptr;
  out += "\\u{";
  out.append(digits.data(), end);
  out += '}';
}

}  // namespace

std::optional<std::string_view> LineReader::next() noexcept {
  if (rest_.empty()) return std::nullopt;
  ++line_number_;
  const std::size_t feed = rest_.find('\n');
  if (feed == std::string_view::npos) {
    const std::string_view line = rest_;
    rest_ = {};
    return line;
  }
  std::string_view line = rest_.substr(0, feed);
  rest_.remove_prefix(feed + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool is_white_space(char32_t code_point) noexcept {
  switch (code_point) {
    case 0x0009:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2000:
    case 0x2001:
    case 0x2002:
    case 0x2003:
    case 0x2004:
    case 0x2005:
    case 0x2006:
    case 0x2007:
    case 0x2008:
    case 0x2009:
    case 0x200A:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return false;
  }
}

std::string_view trim(std::string_view text) noexcept {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const auto byte = static_cast<unsigned char>(text[begin]);
    if (byte < 0x80) {
      if (!is_ascii_white_space(byte)) break;
      ++begin;
      continue;
    }
    std::size_t next = begin;
    if (!is_white_space(decode_at(text, next))) break;
    begin = next;
  }
  std::size_t end = text.size();
  while (end > begin) {
    const auto byte = static_cast<unsigned char>(text[end - 1]);
    if (byte < 0x80) {
      if (!is_ascii_white_space(byte)) break;
      --end;
      continue;
    }
    const std::size_t start = start_of_previous(text, end);
    std::size_t pos = start;
    if (!is_white_space(decode_at(text, pos))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::optional<std::uint64_t> parse_unsigned(std::string_view field, unsigned bits) noexcept {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty()) return std::nullopt;
  const std::uint64_t max = bits >= 64 ? std::numeric_limits<std::uint64_t>::max() : (std::uint64_t{1} << bits) - 1;
  std::uint64_t value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t c = decode_at(text, pos);
    switch (c) {
      case U'"':
        out += "\\\"";
        continue;
      case U'\\':
        out += "\\\\";
        continue;
      case U'\t':
        out += "\\t";
        continue;
      case U'\r':
        out += "\\r";
        continue;
      case U'\n':
        out += "\\n";
        continue;
      case U'\0':
        out += "\\0";
        continue;
      default:
        break;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (is_non_printable(c) || is_grapheme_extend(c)) {
      append_hex_escape(out, c);
    } else {
      out.append(text.substr(start, pos - start));
    }
  }
  out += '"';
  return out;
}

bool is_valid_utf8(std::string_view bytes) noexcept {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // Eight ASCII bytes at a time: most input is ASCII, and no byte of it can start a bad sequence.
    if (bytes.size() - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + pos, sizeof word);
      if ((word & 0x8080808080808080u) == 0) {
        pos += 8;
        continue;
      }
    }
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const Step step = step_at(bytes, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

std::string decode_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const Step step = step_at(bytes, pos);
    if (step.valid)
      out.append(bytes.substr(pos, step.length));
    else
      append_code_point(out, kReplacement);
    pos += step.length;
  }
  return out;
}

std::uint64_t count_code_points(std::string_view text) noexcept {
  std::uint64_t count = 0;
  for (const char c : text) count += is_continuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return count;
}

char32_t decode_at(std::string_view text, std::size_t& pos) noexcept {
  const Step step = step_at(text, pos);
  pos += step.length;
  return step.valid ? step.code_point : kReplacement;
}

void append_code_point(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

}  // namespace tessara::formats::text
