#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tessara/layout/diagram.hpp"

namespace tessara::layout {

enum class DiagramFormat : std::uint8_t { Svg, Html, Dot, Tikz, Json };

// The format a file extension names: ".svg", ".html", ".dot", ".tex" (TikZ),
// ".json", in any case, with or without the dot.
std::optional<DiagramFormat> format_by_extension(std::string_view extension);
// "unknown diagram file extension '.x'; choose one of: .svg, .html, .dot, .tex, .json"
std::string unknown_format_message(std::string_view extension);

std::string write_diagram(const Diagram& diagram, DiagramFormat format);

// A standalone SVG document with its XML declaration.
std::string diagram_svg(const Diagram& diagram);
// The SVG element alone, to sit inside HTML; without the highlight's colours
// when `marks` is false (the HTML view's script applies them).
void append_svg_element(std::string& out, const Diagram& diagram, bool marks = true);
// An HTML fragment: the SVG with an inline script (no network) that shows a
// concept's extent and intent on hover, highlights its upper and lower sets on
// click, and zooms (wheel) and pans (drag); double-click resets the view.
// The fragment is well-formed XML too.
std::string diagram_html(const Diagram& diagram);
// Graphviz DOT with the positions (pos, in points, y up) and the labels.
std::string diagram_dot(const Diagram& diagram);
// A standalone LaTeX document with one tikzpicture.
std::string diagram_tikz(const Diagram& diagram);
// Positions, edges with their points, labels with their boxes, names and
// the concepts' own objects and attributes; python/tessara/lab/diagram.schema.json
// describes it.
std::string diagram_json(const Diagram& diagram);

}  // namespace tessara::layout
