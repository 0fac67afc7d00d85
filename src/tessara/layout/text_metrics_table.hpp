#pragma once

#include <cstddef>
#include <cstdint>

// The advance widths of DejaVu Sans, in font units, as runs of consecutive
// code points with one advance each, sorted by code point.
namespace tessara::layout::font_table {

struct AdvanceRun {
  std::uint32_t first;
  std::uint32_t last;
  std::uint16_t advance;
};

extern const int kUnitsPerEm;
extern const int kAscender;   // above the baseline, font units
extern const int kDescender;  // below the baseline, font units, positive
extern const AdvanceRun kAdvanceRuns[];
extern const std::size_t kAdvanceRunCount;

}  // namespace tessara::layout::font_table
