#include "tessara/layout/text_escape.hpp"

#include <array>

#include "tessara/formats/text.hpp"

namespace tessara::layout {
namespace {

using formats::text::append_code_point;
using formats::text::decode_at;

constexpr char32_t kReplacement = U'\uFFFD';

bool is_control(char32_t c) noexcept { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

void append_hex4(std::string& out, char32_t c) {
  constexpr std::array<char, 16> digits{'0', '1', '2', '3', '4', '5', '6', '7',
                                        '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(c >> shift) & 0xF];
}

}  // namespace

void append_xml(std::string& out, std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = decode_at(text, pos);
    switch (c) {
      case U'&': out += "&amp;"; break;
      case U'<': out += "&lt;"; break;
      case U'>': out += "&gt;"; break;
      case U'"': out += "&quot;"; break;
      case U'\'': out += "&apos;"; break;
      case U'\t': out += "&#9;"; break;
      case U'\n': out += "&#10;"; break;
      case U'\r': out += "&#13;"; break;
      default:
        append_code_point(out, is_control(c) || c == 0xFFFE || c == 0xFFFF ? kReplacement : c);
    }
  }
}

void append_json_string(std::string& out, std::string_view text, bool inside_html) {
  out += '"';
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = decode_at(text, pos);
    switch (c) {
      case U'"': out += "\\\""; break;
      case U'\\': out += "\\\\"; break;
      case U'\n': out += "\\n"; break;
      case U'\r': out += "\\r"; break;
      case U'\t': out += "\\t"; break;
      case U'\b': out += "\\b"; break;
      case U'\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x2028 || c == 0x2029 || (inside_html && (c == U'<' || c == U'>' || c == U'&'))) {
          append_hex4(out, c);
        } else {
          append_code_point(out, c);
        }
    }
  }
  out += '"';
}

void append_dot_string(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = decode_at(text, pos);
    switch (c) {
      case U'"': out += "\\\""; break;
      case U'\\': out += "\\\\"; break;
      case U'\n': out += "\\n"; break;
      default:
        append_code_point(out, is_control(c) ? kReplacement : c);
    }
  }
  out += '"';
}

void append_tex(std::string& out, std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = decode_at(text, pos);
    switch (c) {
      case U'%': out += "\\%"; break;
      case U'_': out += "\\_"; break;
      case U'#': out += "\\#"; break;
      case U'$': out += "\\$"; break;
      case U'&': out += "\\&"; break;
      case U'{': out += "\\{"; break;
      case U'}': out += "\\}"; break;
      case U'\\': out += "\\textbackslash{}"; break;
      case U'~': out += "\\textasciitilde{}"; break;
      case U'^': out += "\\textasciicircum{}"; break;
      case U'<': out += "\\textless{}"; break;
      case U'>': out += "\\textgreater{}"; break;
      case U'|': out += "\\textbar{}"; break;
      case U'"': out += "\\textquotedbl{}"; break;
      case U'`': out += "\\textasciigrave{}"; break;
      case U'\'': out += "\\textquotesingle{}"; break;
      case U'-': out += "-{}"; break;  // no -- or --- dashes
      case U',': out += ",{}"; break;  // no ,, quotes
      case U'\u2066':
      case U'\u2067':
      case U'\u2068':
      case U'\u2069':
        break;
      default:
        append_code_point(out, is_control(c) ? kReplacement : c);
    }
  }
}

}  // namespace tessara::layout
