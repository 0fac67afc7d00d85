#include "tessara/formats/cxt.hpp"

#include <optional>
#include <string>
#include <vector>

#include "tessara/formats/text.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "cxt";

using Failure = std::unexpected<ParseError>;

std::string decimal(std::uint64_t value) { return std::to_string(value); }

// The non-blank lines of the text, each trimmed. A plain value, so a copy can
// look ahead without moving the original.
class NonBlankLines {
 public:
  explicit NonBlankLines(std::string_view text) noexcept : lines_(text) {}

  std::optional<std::string_view> next() noexcept {
    while (const auto line = lines_.next()) {
      const std::string_view trimmed = text::trim(*line);
      if (!trimmed.empty()) return trimmed;
    }
    return std::nullopt;
  }

 private:
  text::LineReader lines_;
};

std::expected<void, ParseError> read_header(NonBlankLines& lines) {
  const auto line = lines.next();
  if (!line) return Failure(ParseError::parse(kFormat, "input is empty"));
  if (*line != "B" && *line != "b")
    return Failure(ParseError::parse(kFormat, "expected format header \"B\", got " + text::quoted(*line)));
  return {};
}

std::expected<std::uint64_t, ParseError> read_count(NonBlankLines& lines, std::string_view label) {
  const auto line = lines.next();
  if (!line) return Failure(ParseError::parse(kFormat, "expected " + std::string(label) + ", reached end of input"));
  const auto count = text::parse_unsigned(*line, 64);
  if (!count) {
    return Failure(ParseError::parse(
        kFormat, "expected " + std::string(label) + " as a non-negative integer, got " + text::quoted(*line)));
  }
  return *count;
}

struct Counts {
  std::uint64_t objects;
  std::uint64_t attributes;
};

// A line that starts like a number ("-3", "3.0", "2 3") is a mistyped count,
// never a name.
bool looks_numeric(std::string_view line) {
  const char first = line.front();
  return (first >= '0' && first <= '9') || first == '+' || first == '-';
}

// Many tools write the context's name on the line after the header. Such a line
// is recognised only when it does not look like a number and the next two
// lines are both counts; otherwise the first line is taken as the object count
// and any error names it.
bool skip_context_name(NonBlankLines& lines) {
  NonBlankLines ahead = lines;
  const auto name = ahead.next();
  if (!name || looks_numeric(*name)) return false;
  NonBlankLines after_name = ahead;
  const auto first = ahead.next();
  const auto second = ahead.next();
  if (!first || !second || !text::parse_unsigned(*first, 64) || !text::parse_unsigned(*second, 64)) return false;
  lines = after_name;
  return true;
}

std::expected<Counts, ParseError> read_counts(NonBlankLines& lines) {
  skip_context_name(lines);
  const auto objects = read_count(lines, "object count");
  if (!objects) return Failure(objects.error());
  const auto attributes = read_count(lines, "attribute count");
  if (!attributes) return Failure(attributes.error());
  return Counts{*objects, *attributes};
}

// Storage grows only as lines arrive: a declared count says nothing about how
// much input there really is.
std::expected<std::vector<std::string>, ParseError> read_names(NonBlankLines& lines, std::uint64_t count,
                                                               std::string_view word) {
  std::vector<std::string> names;
  while (names.size() < count) {
    const auto line = lines.next();
    if (!line) {
      return Failure(ParseError::invalid(
          kFormat, "expected " + decimal(count) + " " + std::string(word) + " names, got " + decimal(names.size())));
    }
    names.emplace_back(*line);
  }
  return names;
}

// Cell j is true when character j is X or x; characters past the width are
// ignored.
std::expected<core::IncidenceRow, ParseError> read_row(std::string_view line, std::uint64_t row, std::uint64_t width) {
  const std::uint64_t length = text::count_code_points(line);
  if (length < width) {
    return Failure(ParseError::invalid(
        kFormat, "row " + decimal(row) + " has length " + decimal(length) + ", expected " + decimal(width)));
  }
  core::IncidenceRow cells(width, false);
  std::size_t pos = 0;
  for (std::uint64_t j = 0; j < width; ++j) {
    const char32_t c = text::decode_at(line, pos);
    cells[j] = c == U'X' || c == U'x';
  }
  return cells;
}

std::expected<std::vector<core::IncidenceRow>, ParseError> read_rows(NonBlankLines& lines, Counts counts) {
  std::vector<core::IncidenceRow> rows;
  while (rows.size() < counts.objects) {
    const auto line = lines.next();
    if (!line) {
      return Failure(ParseError::invalid(
          kFormat, "expected " + decimal(counts.objects) + " incidence rows, got " + decimal(rows.size())));
    }
    auto row = read_row(*line, rows.size(), counts.attributes);
    if (!row) return Failure(row.error());
    rows.push_back(std::move(*row));
  }
  return rows;
}

std::expected<void, ParseError> expect_end(NonBlankLines& lines) {
  if (const auto extra = lines.next()) {
    return Failure(
        ParseError::invalid(kFormat, "unexpected content after the last incidence row: " + text::quoted(*extra)));
  }
  return {};
}

}  // namespace

std::expected<core::Context, ParseError> read_cxt(std::string_view text) {
  NonBlankLines lines(text);
  if (auto header = read_header(lines); !header) return Failure(header.error());
  const auto counts = read_counts(lines);
  if (!counts) return Failure(counts.error());
  auto objects = read_names(lines, counts->objects, "object");
  if (!objects) return Failure(objects.error());
  auto attributes = read_names(lines, counts->attributes, "attribute");
  if (!attributes) return Failure(attributes.error());
  auto rows = read_rows(lines, *counts);
  if (!rows) return Failure(rows.error());
  if (auto end = expect_end(lines); !end) return Failure(end.error());

  auto context = core::Context::create(std::move(*objects), std::move(*attributes), std::move(*rows));
  if (!context) return Failure(ParseError::construction(context.error()));
  return std::move(*context);
}

}  // namespace tessara::formats
