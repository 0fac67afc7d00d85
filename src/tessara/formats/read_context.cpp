#include "tessara/formats/read_context.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <string>
#include <utility>

#include "tessara/formats/csv.hpp"
#include "tessara/formats/cxt.hpp"
#include "tessara/formats/fca_xml.hpp"
#include "tessara/formats/fimi.hpp"
#include "tessara/formats/json.hpp"
#include "tessara/formats/text.hpp"

namespace tessara::formats {
namespace {

// Detection and the "auto" message look at no more than this many bytes.
constexpr std::size_t kHeadBytes = 256;

// The last slash-separated component of a file name, ignoring trailing
// slashes; nothing when there is no such component or it is "..".
std::optional<std::string_view> final_component(std::string_view filename) {
  while (!filename.empty() && filename.back() == '/') filename.remove_suffix(1);
  if (filename.empty()) return std::nullopt;
  const std::size_t slash = filename.rfind('/');
  const std::string_view component = slash == std::string_view::npos ? filename : filename.substr(slash + 1);
  if (component == "..") return std::nullopt;
  return component;
}

// The text after the last dot of the component, when that dot is not its first
// character.
std::optional<std::string_view> extension_of(std::string_view component) {
  const std::size_t dot = component.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return component.substr(dot + 1);
}

std::string unicode_lower(std::string_view text) {
  std::string lower;
  lower.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t c = text::decode_at(text, pos);
    text::append_code_point(lower, static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c))));
  }
  return lower;
}

std::optional<InputFormat> format_for_extension(std::string_view extension) {
  const std::string lower = unicode_lower(extension);
  if (lower == "cxt") return InputFormat::Cxt;
  if (lower == "csv" || lower == "tsv") return InputFormat::Csv;
  if (lower == "dat") return InputFormat::Fimi;
  if (lower == "xml") return InputFormat::FcaXml;
  if (lower == "json") return InputFormat::Json;
  return std::nullopt;
}

std::optional<InputFormat> format_from_file_name(std::string_view filename) {
  const auto component = final_component(filename);
  if (!component) return std::nullopt;
  const auto extension = extension_of(*component);
  if (!extension) return std::nullopt;
  return format_for_extension(*extension);
}

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// Looks at the first line of the head, which may end in the middle of a
// character, so it is decoded lossily.
std::optional<InputFormat> format_from_first_line(std::string_view head) {
  const std::string decoded = text::decode_lossy(head);
  text::LineReader lines(decoded);
  const std::string_view line = text::trim(lines.next().value_or(std::string_view{}));
  if (line == "B") return InputFormat::Cxt;
  if (line.empty()) return std::nullopt;
  if (line.front() == '<') return InputFormat::FcaXml;
  if (line.front() == '{') return InputFormat::Json;
  if (is_ascii_digit(line.front()) && line.find(' ') != std::string_view::npos) return InputFormat::Fimi;
  if (line.find(',') != std::string_view::npos) return InputFormat::Csv;
  return std::nullopt;
}

std::string decimal(std::size_t value) { return std::to_string(value); }

}  // namespace

std::string_view format_name(InputFormat format) noexcept {
  switch (format) {
    case InputFormat::Cxt:
      return "cxt";
    case InputFormat::Csv:
      return "csv";
    case InputFormat::Fimi:
      return "fimi";
    case InputFormat::FcaXml:
      return "fca-xml";
    case InputFormat::Json:
      return "";
  }
  return "";
}

std::optional<InputFormat> detect_format(std::string_view filename, std::string_view head) {
  if (const auto by_name = format_from_file_name(filename)) return by_name;
  return format_from_first_line(head.substr(0, std::min(head.size(), kHeadBytes)));
}

std::expected<core::Context, ParseError> read_context(std::string_view bytes, std::string_view filename) {
  const std::size_t head_size = std::min(bytes.size(), kHeadBytes);
  const auto format = detect_format(filename, bytes.substr(0, head_size));
  if (!format) {
    return std::unexpected(ParseError::invalid(
        "auto", "could not detect format from extension or first " + decimal(head_size) + " bytes"));
  }
  // The JSON reader takes raw bytes; every other reader needs text.
  if (*format != InputFormat::Json && !text::is_valid_utf8(bytes))
    return std::unexpected(ParseError::io("stream did not contain valid UTF-8"));
  switch (*format) {
    case InputFormat::Cxt:
      return read_cxt(bytes);
    case InputFormat::Csv:
      return read_csv(bytes);
    case InputFormat::Fimi:
      return read_fimi(bytes);
    case InputFormat::FcaXml:
      return read_fca_xml(bytes);
    case InputFormat::Json:
      return read_json(bytes);
  }
  std::unreachable();
}

}  // namespace tessara::formats
