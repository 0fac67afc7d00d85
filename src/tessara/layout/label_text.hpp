#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessara::layout {

enum class LabelKind : std::uint8_t {
  Attributes,  // above the concept: its own attributes, or its whole intent
  Objects,     // below the concept: its own objects, or its whole extent
  Counts,      // below the concept: its support and own-object count
};

struct TextStyle {
  double font_size = 12.0;
  double line_height = 14.5;
  double max_width = 180.0;       // lines wrap before this width
  std::uint32_t max_lines = 4;    // further names are counted as "+N more"
};

// The text of one label as lines, and the size it takes.
struct LabelText {
  std::uint32_t concept_index = 0;
  LabelKind kind = LabelKind::Attributes;
  std::vector<std::string> lines;
  std::uint32_t names_shown = 0;   // names written out in the lines
  std::uint32_t names_hidden = 0;  // names left out, counted in "+N more"
  double width = 0.0;              // of the widest line
  double height = 0.0;             // of all lines
};

// Names as a label: joined by ", ", wrapped into lines no wider than the
// style's max_width (a name wider than that gets a line of its own: names are
// never cut), at most max_lines of them. Names that do not fit are left out
// and the last line ends with "+N more", N counting them (a label of one line
// keeps its first name, however wide). `names` may be the
// first names of a longer list of `total` names (the rest are counted in N).
// A name with right-to-left letters is set between first-strong-isolate and
// pop-directional-isolate marks, so that it reads as one piece in its place
// of the list whatever the directions around it.
LabelText wrap_names(std::span<const std::string_view> names, std::size_t total, const TextStyle& style);

// Whether the text has a right-to-left letter (bidirectional class R or AL).
bool has_right_to_left(std::string_view text);

// One line of text as a label.
LabelText single_line(std::string text, const TextStyle& style);

}  // namespace tessara::layout
