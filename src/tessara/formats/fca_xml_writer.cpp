#include <charconv>
#include <string>

#include "tessara/formats/text.hpp"
#include "tessara/formats/writers.hpp"

namespace tessara::formats {
namespace {

bool is_xml_space(char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// XML 1.0 characters: tab, LF, CR, U+0020..U+D7FF, U+E000..U+FFFD and beyond
// U+FFFF (valid UTF-8 holds no surrogates). Not even a character reference can
// carry any other.
bool is_xml_char(char32_t c) {
  return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
}

std::string code_point_text(char32_t c) {
  char digits[8];
  std::string hex(digits, std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(c), 16).ptr);
  return "U+" + std::string(hex.size() < 4 ? 4 - hex.size() : 0, '0') + hex;
}

// Why the name cannot go into the document, if it cannot: a character XML
// forbids, or, for an object name (element text, which the reader trims),
// emptiness or white space at either end.
std::optional<std::string> unfit_name(std::string_view name, bool object) {
  std::size_t pos = 0;
  while (pos < name.size()) {
    const char32_t c = text::decode_at(name, pos);
    if (!is_xml_char(c)) return "XML 1.0 forbids the character " + code_point_text(c);
  }
  if (!object) return std::nullopt;
  if (name.empty()) return std::string("an FCA-XML object without a name reads back as g followed by its position");
  std::size_t first = 0;
  std::size_t last = name.size() - 1;
  while (last > 0 && (static_cast<unsigned char>(name[last]) & 0xC0) == 0x80) --last;
  if (is_xml_space(text::decode_at(name, first)) || is_xml_space(text::decode_at(name, last)))
    return std::string("FCA-XML trims XML white space at both ends of an object name");
  return std::nullopt;
}

// Escapes markup; line breaks and tabs in attribute values become character
// references (an XML parser turns literal ones into spaces), and so does a
// carriage return in text (which would otherwise become a line feed).
void append_escaped(std::string& out, std::string_view text, bool attribute_value) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += attribute_value ? "&quot;" : "\"";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\n':
        out += attribute_value ? "&#10;" : "\n";
        break;
      case '\t':
        out += attribute_value ? "&#9;" : "\t";
        break;
      default:
        out += c;
    }
  }
}

}  // namespace

std::expected<std::string, WriteError> write_fca_xml(const core::Context& context) {
  if (context.n_attributes() == 0)
    return std::unexpected(WriteError{"xml cannot carry a context without attributes: FCA-XML needs an <Attribute>"});
  if (context.n_objects() == 0)
    return std::unexpected(WriteError{"xml cannot carry a context without objects: FCA-XML needs an <Object>"});
  for (const bool objects : {true, false}) {
    const auto& names = objects ? context.objects() : context.attributes();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (const auto why = unfit_name(names[i], objects))
        return std::unexpected(WriteError{"xml cannot carry " + name_and_place(context, objects, i) + ": " + *why});
    }
  }
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Context>\n  <Attributes>\n";
  for (const std::string& name : context.attributes()) {
    out += "    <Attribute Name=\"";
    append_escaped(out, name, true);
    out += "\"/>\n";
  }
  out += "  </Attributes>\n  <Objects>\n";
  char digits[16];
  for (std::uint64_t g = 0; g < context.n_objects(); ++g) {
    out += "    <Object><Name>";
    append_escaped(out, context.object_name(g), false);
    out += "</Name>";
    context.row(g).for_each_member([&](std::uint32_t m) {
      out += "<HasAttribute AttributeIdentifier=\"";
      out.append(digits, std::to_chars(digits, digits + sizeof digits, m).ptr);
      out += "\"/>";
    });
    out += "</Object>\n";
  }
  out += "  </Objects>\n</Context>\n";
  return out;
}

}  // namespace tessara::formats
