#include "tessara/layout/text_metrics.hpp"

#include <utf8proc.h>

#include <algorithm>

#include "tessara/formats/text.hpp"
#include "tessara/layout/text_metrics_table.hpp"

namespace tessara::layout {
namespace {

// The advance of a code point in font units, or -1 when the font lacks it.
int table_advance(char32_t c) {
  const auto* const first = font_table::kAdvanceRuns;
  const auto* const last = first + font_table::kAdvanceRunCount;
  const auto* run =
      std::upper_bound(first, last, static_cast<std::uint32_t>(c),
                       [](std::uint32_t code, const font_table::AdvanceRun& r) { return code < r.first; });
  if (run == first) return -1;
  --run;
  return c <= run->last ? run->advance : -1;
}

bool draws_nothing(char32_t c) {
  switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_MN:
    case UTF8PROC_CATEGORY_ME:
    case UTF8PROC_CATEGORY_CF:
      return true;
    default:
      return false;
  }
}

// Font units per em of a code point.
double advance_in_em(char32_t c) {
  if (c < 0x80 && c >= 0x20) return table_advance(c) / static_cast<double>(font_table::kUnitsPerEm);
  if (draws_nothing(c)) return 0.0;
  const int advance = table_advance(c);
  if (advance >= 0) return advance / static_cast<double>(font_table::kUnitsPerEm);
  return 1.0;
}

}  // namespace

double text_width(std::string_view text, double font_size) {
  double em = 0.0;
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c = formats::text::decode_at(text, pos);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = U'\uFFFD';  // control characters are shown as U+FFFD
    em += advance_in_em(c);
  }
  return em * font_size;
}

double font_ascent(double font_size) {
  return font_size * font_table::kAscender / static_cast<double>(font_table::kUnitsPerEm);
}

double font_descent(double font_size) {
  return font_size * font_table::kDescender / static_cast<double>(font_table::kUnitsPerEm);
}

}  // namespace tessara::layout
