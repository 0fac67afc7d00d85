#include "tessara/formats/csv.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tessara/formats/csv_records.hpp"
#include "tessara/formats/text.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "csv";

// The delimiter is a tab when the first non-blank line holds more tabs than
// commas, and a comma otherwise.
char choose_delimiter(std::string_view text) {
  text::LineReader lines(text);
  while (const auto line = lines.next()) {
    if (text::is_blank(*line)) continue;
    const auto tabs = std::count(line->begin(), line->end(), '\t');
    const auto commas = std::count(line->begin(), line->end(), ',');
    return tabs > commas ? '\t' : ',';
  }
  return ',';
}

bool has_non_blank_line(std::string_view text) {
  text::LineReader lines(text);
  while (const auto line = lines.next())
    if (!text::is_blank(*line)) return true;
  return false;
}

// A cell is true when its trimmed text is one of these, compared exactly.
bool is_true_cell(std::string_view cell) {
  static constexpr std::array<std::string_view, 11> kTrueTexts = {"1",    "x",    "X",   "y",   "Y",  "true",
                                                                  "True", "TRUE", "yes", "Yes", "YES"};
  // One-character cells (the usual 1 and 0) need no trimming.
  if (cell.size() == 1) return std::string_view("1xXyY").find(cell.front()) != std::string_view::npos;
  const std::string_view trimmed = text::trim(cell);
  if (trimmed.size() > 4) return false;
  return std::find(kTrueTexts.begin(), kTrueTexts.end(), trimmed) != kTrueTexts.end();
}

// The table as the records arrive: the header's attribute names, then one
// name and one row per body record.
struct Table {
  bool has_header = false;
  std::vector<std::string> attributes;
  std::vector<std::string> objects;
  std::vector<core::IncidenceRow> rows;
  std::optional<ParseError> failure;

  bool take(const csv_records::Record& record) {
    if (!has_header) return take_header(record);
    objects.push_back(record.fields.front());
    core::IncidenceRow row(attributes.size());
    for (std::size_t j = 0; j < attributes.size(); ++j) row[j] = is_true_cell(record.fields[j + 1]);
    rows.push_back(std::move(row));
    return true;
  }

 private:
  bool take_header(const csv_records::Record& record) {
    has_header = true;
    if (record.fields.size() < 2) {
      failure = ParseError::invalid(kFormat, "header row has no attribute columns");
      return false;
    }
    attributes.assign(record.fields.begin() + 1, record.fields.end());
    return true;
  }
};

}  // namespace

std::expected<core::Context, ParseError> read_csv(std::string_view text) {
  // Input of blank lines only holds no header, even where the blank lines carry
  // spaces that the record layer would otherwise read as a one-field record.
  if (!has_non_blank_line(text)) return std::unexpected(ParseError::invalid(kFormat, "empty header row"));

  Table table;
  const auto layer_failure = csv_records::for_each_record(
      text, choose_delimiter(text), [&table](const csv_records::Record& record) { return table.take(record); });
  if (layer_failure) return std::unexpected(ParseError::csv(*layer_failure));
  if (table.failure) return std::unexpected(std::move(*table.failure));
  if (!table.has_header) return std::unexpected(ParseError::invalid(kFormat, "empty header row"));
  if (table.objects.empty()) return std::unexpected(ParseError::invalid(kFormat, "CSV has a header but no body rows"));

  auto context = core::Context::create(std::move(table.objects), std::move(table.attributes), std::move(table.rows));
  if (!context) return std::unexpected(ParseError::construction(context.error()));
  return std::move(*context);
}

}  // namespace tessara::formats
