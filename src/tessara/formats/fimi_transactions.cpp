#include "tessara/formats/fimi_transactions.hpp"

#include <algorithm>
#include <charconv>
#include <optional>

#include "tessara/formats/limits.hpp"
#include "tessara/formats/text.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "fimi";
// How many lines pass between two calls of keep_going.
constexpr std::uint64_t kLinesPerCheck = 1 << 14;
constexpr std::uint64_t kMaxItemId = 0xFFFFFFFFu;

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

bool is_ascii_space(unsigned char byte) { return byte == ' ' || (byte >= 0x09 && byte <= 0x0D); }

enum class LineKind { kSkipped, kTransaction, kIrregular };

// The fast path: a line of ASCII white space and valid ids. Appends the ids
// and says kTransaction, or says kSkipped for a blank or comment line; says
// kIrregular (ids appended so far are left for the caller to drop) for
// anything else, which the Unicode path then reads with its exact messages.
LineKind scan_plain_line(std::string_view line, std::vector<std::uint32_t>& ids, std::uint64_t& largest) {
  const auto* p = reinterpret_cast<const unsigned char*>(line.data());
  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n && is_ascii_space(p[i])) ++i;
  if (i == n) return LineKind::kSkipped;
  if (p[i] == '#') return LineKind::kSkipped;
  while (i < n) {
    if (p[i] == '+') ++i;
    const std::size_t digits = i;
    std::uint64_t value = 0;
    while (i < n && p[i] >= '0' && p[i] <= '9') {
      value = value * 10 + (p[i] - '0');
      if (value > kMaxItemId) return LineKind::kIrregular;
      ++i;
    }
    if (i == digits || (i < n && !is_ascii_space(p[i]))) return LineKind::kIrregular;
    ids.push_back(static_cast<std::uint32_t>(value));
    largest = std::max(largest, value);
    while (i < n && is_ascii_space(p[i])) ++i;
  }
  return LineKind::kTransaction;
}

// The Unicode path: the line trimmed by White_Space, tokens split at it.
std::optional<ParseError> read_line(std::string_view raw, std::uint64_t line_number, std::vector<std::uint32_t>& ids,
                                    std::uint64_t& largest, bool& is_transaction) {
  const std::string_view line = text::trim(raw);
  is_transaction = !line.empty() && line.front() != '#';
  if (!is_transaction) return std::nullopt;
  std::size_t pos = 0;
  for (std::string_view token = next_token(line, pos); !token.empty(); token = next_token(line, pos)) {
    const auto id = text::parse_unsigned(token, 32);
    if (!id) {
      return ParseError::parse(kFormat, "line " + std::to_string(line_number) +
                                            ": expected non-negative integer, got " + text::quoted(token));
    }
    ids.push_back(static_cast<std::uint32_t>(*id));
    largest = std::max(largest, *id);
  }
  return std::nullopt;
}

// Sorts the ids of the last transaction (from `begin`) and drops repeats.
void normalise_tail(std::vector<std::uint32_t>& ids, std::size_t begin) {
  const auto first = ids.begin() + static_cast<std::ptrdiff_t>(begin);
  if (std::adjacent_find(first, ids.end(), [](std::uint32_t a, std::uint32_t b) { return a >= b; }) == ids.end())
    return;
  std::sort(first, ids.end());
  ids.erase(std::unique(first, ids.end()), ids.end());
}

}  // namespace

std::expected<FimiTransactions, ParseError> read_fimi_transactions(std::string_view text,
                                                                    const KeepReading& keep_going) {
  FimiTransactions transactions;
  // A line holds at most one id per two bytes: reserving for that at the start
  // would double the memory of a file of long ids, so reserve a third. The
  // part of the reservation never written is never touched, so it costs
  // address space, not memory; the list is not copied to fit.
  transactions.items.reserve(text.size() / 3);
  std::uint64_t largest = 0;
  text::LineReader lines(text);
  while (const auto raw = lines.next()) {
    if (keep_going && lines.line_number() % kLinesPerCheck == 0 && !keep_going())
      return std::unexpected(ParseError::invalid(kFormat, "reading was interrupted"));
    const std::size_t begin = transactions.items.size();
    LineKind kind = scan_plain_line(*raw, transactions.items, largest);
    if (kind == LineKind::kIrregular) {
      transactions.items.resize(begin);
      bool is_transaction = false;
      if (auto failure = read_line(*raw, lines.line_number(), transactions.items, largest, is_transaction))
        return std::unexpected(std::move(*failure));
      kind = is_transaction ? LineKind::kTransaction : LineKind::kSkipped;
    }
    if (kind == LineKind::kSkipped) continue;
    normalise_tail(transactions.items, begin);
    transactions.offsets.push_back(transactions.items.size());
  }
  if (transactions.count() == 0)
    return std::unexpected(ParseError::invalid(kFormat, "input contains no transactions"));
  transactions.width = largest + 1;
  return transactions;
}

std::optional<ParseError> check_fimi_names(const FimiTransactions& transactions) {
  if (transactions.width > kMaxFimiAttributes) {
    return ParseError::invalid(kFormat, "largest item id " + std::to_string(transactions.width - 1) + " needs " +
                                            std::to_string(transactions.width) + " attributes, more than the " +
                                            std::to_string(kMaxFimiAttributes) +
                                            " attribute names this reader generates");
  }
  if (transactions.count() > kMaxIndexCount) {
    return ParseError::invalid(kFormat, std::to_string(transactions.count()) +
                                            " transactions are more than the limit of " +
                                            std::to_string(kMaxIndexCount) + " objects");
  }
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

}  // namespace tessara::formats
