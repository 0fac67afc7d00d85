#include "tessara/formats/fimi.hpp"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "tessara/formats/limits.hpp"
#include "tessara/formats/text.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "fimi";

// Every attribute gets a generated name (a 32-byte string), and one short
// line such as "0 67108863" asks for all of them: the names, not the cells,
// are what a tiny input can make expensive. 2^23 names take 256 MiB and a
// fraction of a second to build, and still cover the widest item ranges of the
// common FIMI data sets (webdocs: 5.3 million items).
constexpr std::uint64_t kMaxGeneratedAttributes = std::uint64_t{1} << 23;

// Every transaction's item ids kept sparse: all ids in one flat list, and where
// each transaction's ids end. Dense rows are built only once the size is known
// to be acceptable.
struct Transactions {
  std::vector<std::uint32_t> ids;
  std::vector<std::size_t> ends;
  std::uint64_t largest_id = 0;

  std::size_t count() const noexcept { return ends.size(); }
};

// Whether the character at pos is White_Space; advances pos past it.
bool white_space_at(std::string_view line, std::size_t& pos) {
  const auto byte = static_cast<unsigned char>(line[pos]);
  if (byte < 0x80) {
    ++pos;
    return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
  }
  return text::is_white_space(text::decode_at(line, pos));
}

// The next run of non-white-space characters at or after pos, or an empty view.
std::string_view next_token(std::string_view line, std::size_t& pos) {
  while (pos < line.size()) {
    std::size_t after = pos;
    if (!white_space_at(line, after)) break;
    pos = after;
  }
  const std::size_t begin = pos;
  while (pos < line.size()) {
    std::size_t after = pos;
    if (white_space_at(line, after)) break;
    pos = after;
  }
  return line.substr(begin, pos - begin);
}

std::optional<ParseError> read_transaction(std::string_view line, std::uint64_t line_number,
                                           Transactions& transactions) {
  std::size_t pos = 0;
  for (std::string_view token = next_token(line, pos); !token.empty(); token = next_token(line, pos)) {
    const auto id = text::parse_unsigned(token, 32);
    if (!id) {
      return ParseError::parse(kFormat, "line " + std::to_string(line_number) +
                                            ": expected non-negative integer, got " + text::quoted(token));
    }
    transactions.ids.push_back(static_cast<std::uint32_t>(*id));
    transactions.largest_id = std::max(transactions.largest_id, *id);
  }
  transactions.ends.push_back(transactions.ids.size());
  return std::nullopt;
}

std::vector<std::string> generated_names(char prefix, std::uint64_t count) {
  std::vector<std::string> names;
  names.reserve(count);
  char text[24] = {prefix};
  for (std::uint64_t i = 0; i < count; ++i) {
    const auto end = std::to_chars(text + 1, text + sizeof text, i).ptr;
    names.emplace_back(text, end);
  }
  return names;
}

std::vector<core::IncidenceRow> dense_rows(const Transactions& transactions, std::uint64_t width) {
  std::vector<core::IncidenceRow> rows;
  rows.reserve(transactions.count());
  std::size_t begin = 0;
  for (const std::size_t end : transactions.ends) {
    core::IncidenceRow row(width);
    for (std::size_t k = begin; k < end; ++k) row[transactions.ids[k]] = true;
    rows.push_back(std::move(row));
    begin = end;
  }
  return rows;
}

}  // namespace

std::expected<core::Context, ParseError> read_fimi(std::string_view text) {
  Transactions transactions;
  text::LineReader lines(text);
  while (const auto raw = lines.next()) {
    const std::string_view line = text::trim(*raw);
    if (line.empty() || line.front() == '#') continue;
    if (auto failure = read_transaction(line, lines.line_number(), transactions))
      return std::unexpected(std::move(*failure));
  }
  if (transactions.count() == 0) return std::unexpected(ParseError::invalid(kFormat, "input contains no transactions"));

  const std::uint64_t width = transactions.largest_id + 1;
  if (auto too_large = check_context_size(kFormat, transactions.count(), width))
    return std::unexpected(std::move(*too_large));
  if (width > kMaxGeneratedAttributes) {
    return std::unexpected(ParseError::invalid(
        kFormat, "largest item id " + std::to_string(transactions.largest_id) + " needs " + std::to_string(width) +
                     " attributes, more than the " + std::to_string(kMaxGeneratedAttributes) +
                     " attribute names this reader generates"));
  }

  auto rows = dense_rows(transactions, width);
  auto context =
      core::Context::create(generated_names('g', transactions.count()), generated_names('m', width), std::move(rows));
  if (!context) return std::unexpected(ParseError::construction(context.error()));
  return std::move(*context);
}

}  // namespace tessara::formats
