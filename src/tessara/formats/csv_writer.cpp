#include <algorithm>
#include <string>

#include "tessara/formats/text.hpp"
#include "tessara/formats/writers.hpp"

namespace tessara::formats {
namespace {

// Appends a field, in double quotes (doubled inside) when it holds the
// delimiter, a quote or a line break; the reader's CSV layer trims nothing.
void append_field(std::string& out, std::string_view field, char delimiter) {
  const bool quote = field.find_first_of(std::string{delimiter, '"', '\r', '\n'}) != std::string_view::npos;
  if (!quote) {
    out.append(field);
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// count copies of c between double quotes (built by appending: g++ 12 at -O3
// misreports `"\"" + std::string(...)` as an overlapping copy, -Wrestrict).
std::string quoted_run(std::size_t count, char c) {
  std::string out(1, '"');
  out.append(count, c);
  out += '"';
  return out;
}

// The corner field, which the reader ignores. The reader picks its delimiter
// by counting tabs and commas on the first non-blank line (tab only when
// tabs outnumber commas), so when the names on the header's first line would
// tip that count the wrong way, or leave the line blank, the corner field
// carries the delimiters that tip it back, in quotes (which also make the
// line non-blank).
std::string corner_field(std::string_view header_tail, char delimiter) {
  const std::string_view first_line = header_tail.substr(0, header_tail.find('\n'));
  const auto tabs = std::count(first_line.begin(), first_line.end(), '\t');
  const auto commas = std::count(first_line.begin(), first_line.end(), ',');
  if (delimiter == ',') {
    if (commas >= tabs) return "";
    return quoted_run(static_cast<std::size_t>(tabs - commas), ',');
  }
  if (tabs > commas && !text::is_blank(first_line)) return "";
  return quoted_run(static_cast<std::size_t>(std::max<std::ptrdiff_t>(commas - tabs + 1, 0)), '\t');
}

}  // namespace

std::expected<std::string, WriteError> write_delimited(const core::Context& context, char delimiter) {
  const std::string format = delimiter == ',' ? "csv" : "tsv";
  if (context.n_attributes() == 0)
    return std::unexpected(WriteError{format + " cannot carry a context without attributes: a table needs a column"});
  if (context.n_objects() == 0)
    return std::unexpected(WriteError{format + " cannot carry a context without objects: a table needs a row"});
  std::string header;
  for (const std::string& name : context.attributes()) {
    header += delimiter;
    append_field(header, name, delimiter);
  }
  std::string out = corner_field(header, delimiter);
  out += header;
  out += '\n';
  for (std::uint64_t g = 0; g < context.n_objects(); ++g) {
    append_field(out, context.object_name(g), delimiter);
    const core::AttributeSet& row = context.row(g);
    for (std::uint64_t m = 0; m < context.n_attributes(); ++m) {
      out += delimiter;
      out += row.contains(m) ? '1' : '0';
    }
    out += '\n';
  }
  return out;
}

}  // namespace tessara::formats
