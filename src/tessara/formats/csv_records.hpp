#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The CSV record layer under the CSV reader: libcsv configured for one
// delimiter, double-quote quoting, CR / LF / CRLF record ends, empty lines
// skipped, no trimming, strict quoting, and a fixed field count taken from the
// first record.
namespace tessara::formats::csv_records {

// One record as the layer delivers it: the fields with quotes removed, and the
// physical line (counting line feeds from 1) on which the record starts.
struct Record {
  std::span<const std::string> fields;
  std::uint64_t line;
};

// Called once per record, header first. Returning false stops the walk.
using RecordSink = std::function<bool(const Record&)>;

// Walks every record of text in one pass. Returns the layer's error text when
// the input is malformed or a record's field count differs from the first
// record's; nothing when the walk ended normally or the sink stopped it.
std::optional<std::string> for_each_record(std::string_view text, char delimiter, const RecordSink& sink);

}  // namespace tessara::formats::csv_records
