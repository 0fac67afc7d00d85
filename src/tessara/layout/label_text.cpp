#include "tessara/layout/label_text.hpp"

#include <algorithm>
#include <charconv>

#include <utf8proc.h>

#include "tessara/formats/text.hpp"
#include "tessara/layout/text_metrics.hpp"

namespace tessara::layout {
namespace {

std::string more_text(std::size_t hidden) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, hidden).ptr;
  std::string text(1, '+');
  text.append(digits, end).append(" more");
  return text;
}

// One wrapped line: the names it holds, first and count.
struct LineNames {
  std::size_t first;
  std::size_t count;
};

void append_name(std::string& line, std::string_view name) {
  if (has_right_to_left(name)) {
    line += "\u2068";
    line += name;
    line += "\u2069";
  } else {
    line += name;
  }
}

std::string join(std::span<const std::string_view> names, std::size_t first, std::size_t count, bool comma_after_last) {
  std::string line;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) line += ", ";
    append_name(line, names[first + i]);
  }
  if (comma_after_last && count > 0) line += ",";
  return line;
}

void finish(LabelText& label, const TextStyle& style) {
  label.width = 0.0;
  for (const std::string& line : label.lines) label.width = std::max(label.width, text_width(line, style.font_size));
  label.height = static_cast<double>(label.lines.size()) * style.line_height;
}

}  // namespace

bool has_right_to_left(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = formats::text::decode_at(text, pos);
    if (c < 0x590) continue;
    const auto bidi = utf8proc_get_property(static_cast<utf8proc_int32_t>(c))->bidi_class;
    if (bidi == UTF8PROC_BIDI_CLASS_R || bidi == UTF8PROC_BIDI_CLASS_AL) return true;
  }
  return false;
}

LabelText wrap_names(std::span<const std::string_view> names, std::size_t total, const TextStyle& style) {
  LabelText label;
  total = std::max(total, names.size());
  if (total == 0) return label;
  if (names.empty()) {
    label.lines.push_back(more_text(total));
    label.names_hidden = static_cast<std::uint32_t>(total);
    finish(label, style);
    return label;
  }
  const double size = style.font_size;
  const double comma_space = text_width(", ", size);
  std::vector<LineNames> lines;
  double line_width = 0.0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const double name_width = text_width(names[i], size);
    if (!lines.empty() && line_width + comma_space + name_width <= style.max_width) {
      ++lines.back().count;
      line_width += comma_space + name_width;
    } else {
      lines.push_back(LineNames{i, 1});
      line_width = name_width;
    }
  }
  const std::size_t max_lines = std::max<std::uint32_t>(style.max_lines, 1);
  if (lines.size() <= max_lines && names.size() == total) {
    for (std::size_t l = 0; l < lines.size(); ++l)
      label.lines.push_back(join(names, lines[l].first, lines[l].count, l + 1 < lines.size()));
    label.names_shown = static_cast<std::uint32_t>(names.size());
  } else {
    // Keep the first lines whole; the last one keeps as many of its names as
    // fit beside "+N more". A label of one line keeps its first name even when
    // the two together are wider than max_width: "+14 more" alone would name
    // nothing.
    const std::size_t kept_lines = std::min(lines.size(), max_lines);
    for (std::size_t l = 0; l + 1 < kept_lines; ++l) label.lines.push_back(join(names, lines[l].first, lines[l].count, true));
    const LineNames last = lines[kept_lines - 1];
    const std::size_t least = kept_lines == 1 ? 1 : 0;
    std::size_t keep = last.count;
    for (;; --keep) {
      const std::size_t hidden = total - last.first - keep;
      std::string line = join(names, last.first, keep, keep > 0);
      if (keep > 0) line += " ";
      line += more_text(hidden);
      if (keep == least || text_width(line, size) <= style.max_width) {
        label.lines.push_back(std::move(line));
        label.names_shown = static_cast<std::uint32_t>(last.first + keep);
        label.names_hidden = static_cast<std::uint32_t>(hidden);
        break;
      }
    }
  }
  finish(label, style);
  return label;
}

LabelText single_line(std::string text, const TextStyle& style) {
  LabelText label;
  label.lines.push_back(std::move(text));
  finish(label, style);
  return label;
}

}  // namespace tessara::layout
