#include "tessara/layout/diagram_style.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "tessara/layout/text_metrics.hpp"

namespace tessara::layout::style {
namespace {

std::string hex_colour(double r, double g, double b) {
  constexpr std::array<char, 16> digits{'0', '1', '2', '3', '4', '5', '6', '7',
                                        '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  std::string out = "#";
  for (const double channel : {r, g, b}) {
    const int value = std::clamp(static_cast<int>(std::lround(channel)), 0, 255);
    out += digits[value / 16];
    out += digits[value % 16];
  }
  return out;
}

}  // namespace

std::string node_fill(const DiagramNode& node) {
  switch (node.mark) {
    case Mark::Focus: return "#f59f00";
    case Mark::Above: return "#cfe1fb";
    case Mark::Below: return "#cdeed5";
    case Mark::Faded: return "#f4f5f7";
    case Mark::Plain: break;
  }
  // From white to a mid blue (#3f6fb5) as the share of objects grows.
  const double s = std::clamp(node.shade, 0.0, 1.0);
  return hex_colour(255.0 + (63.0 - 255.0) * s, 255.0 + (111.0 - 255.0) * s, 255.0 + (181.0 - 255.0) * s);
}

std::string_view node_stroke(Mark mark) {
  switch (mark) {
    case Mark::Focus: return "#b35c00";
    case Mark::Above: return "#1c5fb8";
    case Mark::Below: return "#2b8a3e";
    case Mark::Faded: return "#b9bec5";
    case Mark::Plain: break;
  }
  return kNodeStroke;
}

std::string_view edge_stroke(Mark mark) {
  switch (mark) {
    case Mark::Above: return "#1c5fb8";
    case Mark::Below: return "#2b8a3e";
    case Mark::Faded: return kEdgeFaded;
    case Mark::Focus:
    case Mark::Plain: break;
  }
  return kEdge;
}

std::string_view label_fill(LabelKind kind) {
  switch (kind) {
    case LabelKind::Attributes: return kAttributeText;
    case LabelKind::Objects: return kObjectText;
    case LabelKind::Counts: break;
  }
  return kCountText;
}

std::string_view mark_name(Mark mark) {
  switch (mark) {
    case Mark::Focus: return "focus";
    case Mark::Above: return "above";
    case Mark::Below: return "below";
    case Mark::Faded: return "faded";
    case Mark::Plain: break;
  }
  return "plain";
}

std::string_view kind_name(LabelKind kind) {
  switch (kind) {
    case LabelKind::Attributes: return "attributes";
    case LabelKind::Objects: return "objects";
    case LabelKind::Counts: break;
  }
  return "counts";
}

double baseline(double top, std::size_t line, double font_size, double line_height) {
  const double ascent = font_ascent(font_size);
  const double glyphs = ascent + font_descent(font_size);
  return top + static_cast<double>(line) * line_height + (line_height - glyphs) / 2.0 + ascent;
}

}  // namespace tessara::layout::style
