#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text conventions shared by the text readers: the line model, Unicode
// White_Space trimming, unsigned decimals and the quoted form used in messages.
// Every function here expects valid UTF-8 unless it says otherwise.
namespace tessara::formats::text {

// Walks the lines of a text: a line feed ends a line (one carriage return right
// before it is dropped too); a final piece without a line feed is a line when it
// is not empty. A lone carriage return does not end a line.
class LineReader {
 public:
  explicit LineReader(std::string_view text) noexcept : rest_(text) {}

  // The next line, or nothing at the end of the text.
  std::optional<std::string_view> next() noexcept;
  // The 1-based number of the line last returned by next().
  std::uint64_t line_number() const noexcept { return line_number_; }

 private:
  std::string_view rest_;
  std::uint64_t line_number_ = 0;
};

// True for the code points with the Unicode White_Space property.
bool is_white_space(char32_t code_point) noexcept;

// Removes White_Space characters at both ends.
std::string_view trim(std::string_view text) noexcept;

// A line is blank when nothing is left after trimming.
inline bool is_blank(std::string_view line) noexcept { return trim(line).empty(); }

// An optional single '+' then one or more ASCII digits and nothing else, with a
// value that fits in `bits` bits (32 or 64). Leading zeros are fine.
std::optional<std::uint64_t> parse_unsigned(std::string_view field, unsigned bits = 64) noexcept;

// The text between double quotes, with \" \\ \t \r \n \0 escapes and \u{hex} for
// every other non-printable or Grapheme_Extend character.
std::string quoted(std::string_view text);

// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or values
// beyond U+10FFFF).
bool is_valid_utf8(std::string_view bytes) noexcept;

// Decodes bytes as UTF-8, replacing each invalid or truncated sequence by U+FFFD.
std::string decode_lossy(std::string_view bytes);

// The number of Unicode scalar values in valid UTF-8 text.
std::uint64_t count_code_points(std::string_view text) noexcept;

// Decodes one code point from valid UTF-8 at text[pos]; advances pos. On
// malformed bytes it yields U+FFFD and skips the malformed sequence.
char32_t decode_at(std::string_view text, std::size_t& pos) noexcept;

// Appends the UTF-8 encoding of a Unicode scalar value.
void append_code_point(std::string& out, char32_t code_point);

}  // namespace tessara::formats::text
