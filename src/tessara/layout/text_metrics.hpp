#pragma once

#include <string_view>

namespace tessara::layout {

// The font the diagrams set their text in: DejaVu Sans first (the width
// model below is its advance table), then fonts of similar or smaller widths.
inline constexpr std::string_view kFontFamily = "DejaVu Sans, Verdana, Geneva, sans-serif";

// The width of a line of text at the given font size (pixels), as DejaVu Sans
// sets it without kerning or ligatures (the drawings turn both off): the sum
// of the characters' advances. Characters the font lacks are counted as wide
// as the font size (a fallback font draws them), combining marks and format
// characters (bidi controls among them) as nothing; malformed UTF-8 counts as
// the replacement character it is shown as.
double text_width(std::string_view text, double font_size);

// The extent of the font's glyphs above and below the baseline.
double font_ascent(double font_size);
double font_descent(double font_size);

}  // namespace tessara::layout
