#pragma once

// Today's SVG and HTML writer, kept unchanged as the reference the writer is
// compared with byte for byte. It draws the reference layout.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "sugiyama_reference.hpp"
#include "tessara/layout/svg.hpp"

namespace tessara::reference {

using layout::SvgStyle;

// Today's number text: std::to_chars into a stack buffer.
using NumberBuffer = std::array<char, 400>;

inline void append_result(std::string& out, const NumberBuffer& buffer, std::to_chars_result result) {
  if (result.ec != std::errc{}) throw core::InternalFault("number does not fit its text buffer");
  out.append(buffer.data(), static_cast<const char*>(result.ptr));
}

inline void append_fixed1(std::string& out, double value) {
  NumberBuffer buffer;
  append_result(out, buffer,
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 1));
}

inline void append_shortest(std::string& out, double value) {
  NumberBuffer buffer;
  append_result(out, buffer,
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed));
}
namespace svg_detail {

inline constexpr std::size_t kInitialCapacity = 4096;
inline constexpr std::string_view kSvgNamespace = "http://www.w3.org/2000/svg";

// Finds, for a concept index, the first node in `nodes` that carries it.
// Built once per document so every edge costs a binary search instead of a
// scan over all nodes.
class NodeLookup {
 public:
  explicit NodeLookup(const std::vector<LayoutNode>& nodes) : nodes_(nodes) {
    entries_.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) entries_.emplace_back(nodes[i].concept_index, i);
    std::sort(entries_.begin(), entries_.end());
  }

  const LayoutNode* first_with(std::uint32_t concept_index) const {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), std::pair{concept_index, std::size_t{0}});
    if (it == entries_.end() || it->first != concept_index) return nullptr;
    return &nodes_[it->second];
  }

 private:
  const std::vector<LayoutNode>& nodes_;
  std::vector<std::pair<std::uint32_t, std::size_t>> entries_;
};

// Appends literal text and formatted numbers to one growing buffer.
class SvgText {
 public:
  SvgText() { out_.reserve(kInitialCapacity); }

  SvgText& text(std::string_view literal) {
    out_.append(literal);
    return *this;
  }
  SvgText& fixed(double value) {
    append_fixed1(out_, value);
    return *this;
  }
  SvgText& shortest(double value) {
    append_shortest(out_, value);
    return *this;
  }

  std::string take() && { return std::move(out_); }

 private:
  std::string out_;
};

struct Shift {
  double dx;
  double dy;
};

// Moves the leftmost node and the top layer `margin` away from the borders.
inline Shift shift_for(const LatticeLayout& layout, double margin) {
  double min_x = std::numeric_limits<double>::infinity();
  double min_y = std::numeric_limits<double>::infinity();
  for (const LayoutNode& node : layout.nodes) {
    min_x = std::min(min_x, node.x);
    min_y = std::min(min_y, node.y);
  }
  return Shift{margin - min_x, margin - min_y};
}

inline void write_header(SvgText& svg, const LatticeLayout& layout, const SvgStyle& style) {
  const double m2 = style.margin + style.margin;
  const double width = layout.width + m2;
  const double height = m2 + layout.height;
  svg.text("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  svg.text("<svg xmlns=\"").text(kSvgNamespace).text("\" viewBox=\"0 0 ").fixed(width).text(" ").fixed(height);
  svg.text("\" width=\"").fixed(width).text("\" height=\"").fixed(height).text("\">\n");
}

inline void write_lines(SvgText& svg, const LatticeLayout& layout, const SvgStyle& style, Shift shift) {
  svg.text("  <g stroke=\"#444\" stroke-width=\"").shortest(style.stroke_width).text("\" fill=\"none\">\n");
  const NodeLookup lookup(layout.nodes);
  for (const LayoutEdge& edge : layout.edges) {
    const LayoutNode* upper = lookup.first_with(edge.upper);
    const LayoutNode* lower = lookup.first_with(edge.lower);
    if (upper == nullptr || lower == nullptr) continue;
    svg.text("    <line x1=\"").fixed(upper->x + shift.dx).text("\" y1=\"").fixed(upper->y + shift.dy);
    svg.text("\" x2=\"").fixed(lower->x + shift.dx).text("\" y2=\"").fixed(lower->y + shift.dy).text("\" />\n");
  }
  svg.text("  </g>\n");
}

inline void write_circles(SvgText& svg, const LatticeLayout& layout, const SvgStyle& style, Shift shift) {
  svg.text("  <g fill=\"white\" stroke=\"#222\" stroke-width=\"").shortest(style.stroke_width).text("\">\n");
  for (const LayoutNode& node : layout.nodes) {
    svg.text("    <circle cx=\"").fixed(node.x + shift.dx).text("\" cy=\"").fixed(node.y + shift.dy);
    svg.text("\" r=\"").fixed(style.node_radius).text("\" />\n");
  }
  svg.text("  </g>\n");
}

}  // namespace svg_detail

using namespace svg_detail;

inline std::string write_svg(const LatticeLayout& layout, const SvgStyle& style) {
  SvgText svg;
  const Shift shift = shift_for(layout, style.margin);
  write_header(svg, layout, style);
  write_lines(svg, layout, style, shift);
  write_circles(svg, layout, style, shift);
  svg.text("</svg>\n");
  return std::move(svg).take();
}

inline std::string render_lattice_svg(core::ConceptLattice& lattice) {
  const LayoutConfig config{.node_spacing = 80.0, .layer_spacing = 80.0, .crossing_iters = 24};
  const SvgStyle style{.margin = 30.0, .node_radius = 6.0, .stroke_width = 1.5};
  return reference::write_svg(reference::sugiyama_layout(lattice, config), style);
}

inline std::string render_lattice_html(core::ConceptLattice& lattice) {
  const std::size_t count = lattice.concepts.size();
  const std::string svg = reference::render_lattice_svg(lattice);
  std::string html;
  html.reserve(svg.size() + 160);
  html.append(
      "<div class=\"tessara-lattice\"><div style=\"color:#666;font-size:0.85em;margin-bottom:0.25em;\">"
      "Lattice \xE2\x80\x94 ");
  html.append(std::to_string(count));
  html.append(" concepts</div>");
  html.append(svg);
  html.append("</div>");
  return html;
}

}  // namespace tessara::reference
