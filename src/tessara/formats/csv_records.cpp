#include "tessara/formats/csv_records.hpp"

#include <csv.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessara::formats::csv_records {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// libcsv trims spaces and tabs around unquoted fields unless every byte is
// declared a non-space.
int never_space(unsigned char) { return 0; }

// Owns one libcsv parser for the length of a walk.
class Parser {
 public:
  explicit Parser(char delimiter) {
    initialised_ = csv_init(&parser_, CSV_STRICT | CSV_STRICT_FINI) == 0;
    if (!initialised_) return;
    csv_set_delim(&parser_, static_cast<unsigned char>(delimiter));
    csv_set_quote(&parser_, CSV_QUOTE);
    csv_set_space_func(&parser_, never_space);
  }
  ~Parser() {
    if (initialised_) csv_free(&parser_);
  }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  bool initialised() const noexcept { return initialised_; }
  csv_parser* get() noexcept { return &parser_; }

 private:
  csv_parser parser_{};
  bool initialised_ = false;
};

// Collects the fields of the record in progress and hands finished records to
// the sink, enforcing the first record's field count.
class RecordWalker {
 public:
  explicit RecordWalker(const RecordSink& sink) : sink_(sink) {}

  static void on_field(void* data, std::size_t length, void* self) {
    static_cast<RecordWalker*>(self)->add_field(static_cast<const char*>(data), length);
  }
  static void on_record_end(int, void* self) { static_cast<RecordWalker*>(self)->end_record(); }

  void set_line(std::uint64_t line) noexcept { line_ = line; }
  bool stopped() const noexcept { return stopped_; }
  std::optional<std::string> take_error() { return std::move(error_); }

 private:
  void add_field(const char* data, std::size_t length) {
    if (stopped_) return;
    const std::string_view field = data == nullptr ? std::string_view{} : std::string_view(data, length);
    if (used_ == 0) {
      // The first field ends on the current line; a quoted field may have
      // started some line feeds earlier.
      record_line_ = line_ - static_cast<std::uint64_t>(std::count(field.begin(), field.end(), '\n'));
    }
    if (used_ == fields_.size()) fields_.emplace_back();
    fields_[used_].assign(field);
    ++used_;
  }

  void end_record() {
    if (stopped_) return;
    const std::size_t count = used_;
    used_ = 0;
    if (!expected_fields_) {
      expected_fields_ = count;
    } else if (count != *expected_fields_) {
      error_ = "record on line " + std::to_string(record_line_) + " has " + std::to_string(count) +
               " fields, but the header has " + std::to_string(*expected_fields_);
      stopped_ = true;
      return;
    }
    if (!sink_(Record{std::span<const std::string>(fields_.data(), count), record_line_})) stopped_ = true;
  }

  const RecordSink& sink_;
  std::vector<std::string> fields_;
  std::size_t used_ = 0;
  std::uint64_t line_ = 1;
  std::uint64_t record_line_ = 1;
  std::optional<std::size_t> expected_fields_;
  std::optional<std::string> error_;
  bool stopped_ = false;
};

std::string layer_error(int code, std::uint64_t line, std::string_view what) {
  std::string text = "line " + std::to_string(line) + ": ";
  if (!what.empty()) {
    text += what;
    text += " (";
    text += csv_strerror(code);
    text += ')';
  } else {
    text += csv_strerror(code);
  }
  return text;
}

}  // namespace

std::optional<std::string> for_each_record(std::string_view text, char delimiter, const RecordSink& sink) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  Parser parser(delimiter);
  if (!parser.initialised()) return layer_error(CSV_ENOMEM, 1, {});
  RecordWalker walker(sink);

  // The text goes to libcsv one physical line at a time so that every record
  // and every failure can be placed on its line.
  std::uint64_t line = 1;
  std::uint64_t last_line = 1;
  while (!text.empty() && !walker.stopped()) {
    last_line = line;
    const std::size_t feed = text.find('\n');
    const std::size_t length = feed == std::string_view::npos ? text.size() : feed + 1;
    walker.set_line(line);
    const std::size_t taken =
        csv_parse(parser.get(), text.data(), length, RecordWalker::on_field, RecordWalker::on_record_end, &walker);
    if (taken != length) {
      const int code = csv_error(parser.get());
      return layer_error(code, line, code == CSV_EPARSE ? "misplaced double quote" : "");
    }
    text.remove_prefix(length);
    if (feed != std::string_view::npos) ++line;
  }
  if (walker.stopped()) return walker.take_error();

  // A record still open at the end of input ends on the last line fed.
  walker.set_line(last_line);
  if (csv_fini(parser.get(), RecordWalker::on_field, RecordWalker::on_record_end, &walker) != 0) {
    const int code = csv_error(parser.get());
    return layer_error(code, last_line, code == CSV_EPARSE ? "quoted field not closed at end of input" : "");
  }
  return walker.take_error();
}

}  // namespace tessara::formats::csv_records
