#pragma once

#include <algorithm>
#include <cstdint>
#include <expected>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tessara/formats/text.hpp"

// The FIMI reading rules done the plain way, one code point at a time: lines by
// the line model, trimmed by White_Space, comment and blank lines skipped,
// tokens split at White_Space and read as unsigned 32-bit decimals. The fast
// tokeniser is compared against it.
namespace tessara::reference {

struct FimiTable {
  std::vector<std::set<std::uint32_t>> transactions;
  std::uint64_t width = 0;
};

inline std::expected<FimiTable, std::string> read_fimi_plainly(std::string_view text) {
  namespace t = formats::text;
  FimiTable table;
  std::uint64_t largest = 0;
  t::LineReader lines(text);
  while (const auto raw = lines.next()) {
    const std::string_view line = t::trim(*raw);
    if (line.empty() || line.front() == '#') continue;
    std::set<std::uint32_t> items;
    std::size_t pos = 0;
    while (pos < line.size()) {
      std::size_t after = pos;
      if (t::is_white_space(t::decode_at(line, after))) {
        pos = after;
        continue;
      }
      const std::size_t begin = pos;
      while (pos < line.size()) {
        after = pos;
        if (t::is_white_space(t::decode_at(line, after))) break;
        pos = after;
      }
      const std::string_view token = line.substr(begin, pos - begin);
      const auto id = t::parse_unsigned(token, 32);
      if (!id)
        return std::unexpected("parse error in fimi: line " + std::to_string(lines.line_number()) +
                               ": expected non-negative integer, got " + t::quoted(token));
      items.insert(static_cast<std::uint32_t>(*id));
      largest = std::max(largest, *id);
    }
    table.transactions.push_back(std::move(items));
  }
  if (table.transactions.empty()) return std::unexpected("invalid fimi data: input contains no transactions");
  table.width = largest + 1;
  return table;
}

}  // namespace tessara::reference
