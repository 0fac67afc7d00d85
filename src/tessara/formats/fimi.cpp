#include "tessara/formats/fimi.hpp"

#include <string>
#include <vector>

#include "tessara/formats/fimi_transactions.hpp"
#include "tessara/formats/limits.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "fimi";

// The packed rows, bits set straight from the ids: the same rows Context::create
// would pack from one bool per cell, without the bools.
std::vector<core::AttributeSet> packed_rows(const FimiTransactions& transactions) {
  std::vector<core::AttributeSet> rows;
  rows.reserve(transactions.count());
  for (std::uint64_t t = 0; t < transactions.count(); ++t) {
    core::AttributeSet row = core::AttributeSet::empty(transactions.width);
    for (std::uint64_t k = transactions.offsets[t]; k < transactions.offsets[t + 1]; ++k)
      row.insert(transactions.items[k]);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

std::expected<core::Context, ParseError> read_fimi(std::string_view text) {
  auto transactions = read_fimi_transactions(text);
  if (!transactions) return std::unexpected(std::move(transactions.error()));

  if (auto too_large = check_context_size(kFormat, transactions->count(), transactions->width))
    return std::unexpected(std::move(*too_large));
  if (auto too_many_names = check_fimi_names(*transactions)) return std::unexpected(std::move(*too_many_names));

  auto rows = packed_rows(*transactions);
  auto context = core::Context::from_rows(generated_names('g', transactions->count()),
                                          generated_names('m', transactions->width), std::move(rows));
  if (!context) return std::unexpected(ParseError::construction(context.error()));
  return std::move(*context);
}

}  // namespace tessara::formats
