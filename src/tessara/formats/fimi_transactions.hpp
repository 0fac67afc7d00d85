#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {

// The transactions of a FIMI file as they are stored sparse: each
// transaction's item ids ascending and without repeats, all in one flat list,
// with offsets[t] .. offsets[t + 1] the ids of transaction t.
struct FimiTransactions {
  std::vector<std::uint64_t> offsets{0};
  std::vector<std::uint32_t> items;
  // The largest id of the file plus one: the number of attributes.
  std::uint64_t width = 0;

  std::uint64_t count() const noexcept { return offsets.size() - 1; }
};

// Asked every few thousand lines while a file is read; returning false stops
// the read.
using KeepReading = std::function<bool()>;

// Reads FIMI text into its transactions: one per line that is not blank and
// does not start with '#' after trimming, items separated by white space,
// each an unsigned 32-bit decimal. The failures and their messages are those
// of read_fimi ("line N: expected non-negative integer, got ...", "input
// contains no transactions"); a read stopped by keep_going fails with
// Invalid "reading was interrupted". Lines of ASCII digits and spaces take a
// fast path; every other line goes through the Unicode line model.
std::expected<FimiTransactions, ParseError> read_fimi_transactions(std::string_view text,
                                                                    const KeepReading& keep_going = {});

// The sparse reader's limits, on what it stores: at most kMaxFimiAttributes
// generated attribute names (one short line can ask for 2^32) and at most
// 2^32 - 1 transactions. Nothing when the transactions fit, else the Invalid
// error to report.
std::optional<ParseError> check_fimi_names(const FimiTransactions& transactions);

// The generated names prefix0, prefix1, ..., prefix{count - 1}.
std::vector<std::string> generated_names(char prefix, std::uint64_t count);

// Every attribute gets a generated name (a 32-byte string), and one short
// line such as "0 67108863" asks for all of them: the names, not the cells,
// are what a tiny input can make expensive. 2^23 names take 256 MiB and a
// fraction of a second to build, and still cover the widest item ranges of the
// common FIMI data sets (webdocs: 5.3 million items).
inline constexpr std::uint64_t kMaxFimiAttributes = std::uint64_t{1} << 23;

}  // namespace tessara::formats
