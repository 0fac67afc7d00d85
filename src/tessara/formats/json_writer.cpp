#include <string>

#include "tessara/formats/writers.hpp"

namespace tessara::formats {
namespace {

// The version written into every document; the reader accepts any.
constexpr std::string_view kProducingVersion = TESSARA_VERSION;

}  // namespace

void append_json_name_list(std::string& out, const std::vector<std::string>& names) {
  out += '[';
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) out += ", ";
    append_json_string(out, names[i]);
  }
  out += ']';
}

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void append_json_context(std::string& out, const core::Context& context) {
  out += "{\"objects\": ";
  append_json_name_list(out, context.objects());
  out += ",\n \"attributes\": ";
  append_json_name_list(out, context.attributes());
  out += ",\n \"incidence\": [";
  for (std::uint64_t g = 0; g < context.n_objects(); ++g) {
    out += g == 0 ? "\n  [" : ",\n  [";
    const core::AttributeSet& row = context.row(g);
    for (std::uint64_t m = 0; m < context.n_attributes(); ++m) {
      if (m != 0) out += ", ";
      out += row.contains(m) ? "true" : "false";
    }
    out += ']';
  }
  out += "]}";
}

std::string write_json(const core::Context& context) {
  std::string out = "{\"tessara_version\": ";
  append_json_string(out, kProducingVersion);
  out += ",\n \"context\": ";
  append_json_context(out, context);
  out += "}\n";
  return out;
}

}  // namespace tessara::formats
