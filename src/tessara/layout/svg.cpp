#include "tessara/layout/svg.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "tessara/layout/number_text.hpp"

namespace tessara::layout {
namespace {

constexpr std::size_t kInitialCapacity = 4096;
constexpr std::string_view kSvgNamespace = "http://www.w3.org/2000/svg";

// Finds, for a concept index, the first node in `nodes` that carries it.
// A layout from sugiyama_layout has node i for concept i, so an index is read
// straight from the array; any other node order falls back to a sorted table
// and a binary search per lookup.
class NodeLookup {
 public:
  explicit NodeLookup(const std::vector<LayoutNode>& nodes) : nodes_(nodes), in_concept_order_(true) {
    for (std::size_t i = 0; i < nodes.size() && in_concept_order_; ++i) in_concept_order_ = nodes[i].concept_index == i;
    if (in_concept_order_) return;
    entries_.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) entries_.emplace_back(nodes[i].concept_index, i);
    std::sort(entries_.begin(), entries_.end());
  }

  const LayoutNode* first_with(std::uint32_t concept_index) const {
    if (in_concept_order_) return concept_index < nodes_.size() ? &nodes_[concept_index] : nullptr;
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), std::pair{concept_index, std::size_t{0}});
    if (it == entries_.end() || it->first != concept_index) return nullptr;
    return &nodes_[it->second];
  }

 private:
  const std::vector<LayoutNode>& nodes_;
  bool in_concept_order_;
  std::vector<std::pair<std::uint32_t, std::size_t>> entries_;
};

// Appends literal text and formatted numbers to one growing buffer.
class SvgText {
 public:
  explicit SvgText(std::string& out) : out_(out) {}

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

 private:
  std::string& out_;
};

struct Shift {
  double dx;
  double dy;
};

// Moves the leftmost node and the top layer `margin` away from the borders.
Shift shift_for(const LatticeLayout& layout, double margin) {
  double min_x = std::numeric_limits<double>::infinity();
  double min_y = std::numeric_limits<double>::infinity();
  for (const LayoutNode& node : layout.nodes) {
    min_x = std::min(min_x, node.x);
    min_y = std::min(min_y, node.y);
  }
  return Shift{margin - min_x, margin - min_y};
}

void write_header(SvgText& svg, const LatticeLayout& layout, const SvgStyle& style) {
  const double m2 = style.margin + style.margin;
  const double width = layout.width + m2;
  const double height = m2 + layout.height;
  svg.text("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  svg.text("<svg xmlns=\"").text(kSvgNamespace).text("\" viewBox=\"0 0 ").fixed(width).text(" ").fixed(height);
  svg.text("\" width=\"").fixed(width).text("\" height=\"").fixed(height).text("\">\n");
}

void write_lines(SvgText& svg, const LatticeLayout& layout, const SvgStyle& style, Shift shift) {
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

void write_circles(SvgText& svg, const LatticeLayout& layout, const SvgStyle& style, Shift shift) {
  svg.text("  <g fill=\"white\" stroke=\"#222\" stroke-width=\"").shortest(style.stroke_width).text("\">\n");
  for (const LayoutNode& node : layout.nodes) {
    svg.text("    <circle cx=\"").fixed(node.x + shift.dx).text("\" cy=\"").fixed(node.y + shift.dy);
    svg.text("\" r=\"").fixed(style.node_radius).text("\" />\n");
  }
  svg.text("  </g>\n");
}

// The document's size, known up to the widths of its numbers: fixed text per
// line plus, for every number, the digits of the largest one the document can
// hold (the drawing's width or height) with sign, point and fraction.
std::size_t expected_size(const LatticeLayout& layout, const SvgStyle& style) {
  constexpr std::size_t kFrame = 400;
  constexpr std::size_t kLineText = 37;
  constexpr std::size_t kCircleText = 32;
  const double largest = std::max({layout.width, layout.height, style.node_radius}) + 2 * std::fabs(style.margin);
  if (!std::isfinite(largest) || largest >= 1e15) return kInitialCapacity;
  std::size_t number = 4;
  for (double bound = 10.0; bound <= largest; bound *= 10.0) ++number;
  return kFrame + layout.edges.size() * (kLineText + 4 * number) + layout.nodes.size() * (kCircleText + 3 * number);
}

// Writes the document at the end of `out`, reserving room for it and for the
// `after` bytes the caller appends behind it.
void append_svg(std::string& out, const LatticeLayout& layout, const SvgStyle& style, std::size_t after) {
  out.reserve(std::max(out.size() + expected_size(layout, style) + after, kInitialCapacity));
  SvgText svg(out);
  const Shift shift = shift_for(layout, style.margin);
  write_header(svg, layout, style);
  write_lines(svg, layout, style, shift);
  write_circles(svg, layout, style, shift);
  svg.text("</svg>\n");
}

constexpr LayoutConfig kLayoutConfig{.node_spacing = 80.0, .layer_spacing = 80.0, .crossing_iters = 24};
constexpr SvgStyle kStyle{.margin = 30.0, .node_radius = 6.0, .stroke_width = 1.5};

}  // namespace

std::string write_svg(const LatticeLayout& layout, const SvgStyle& style) {
  std::string out;
  append_svg(out, layout, style, 0);
  return out;
}

std::string render_lattice_svg(core::ConceptLattice& lattice) {
  return write_svg(sugiyama_layout(lattice, kLayoutConfig), kStyle);
}

// The caption and the document go into one buffer, so the document is
// written once and never copied.
std::string render_lattice_html(core::ConceptLattice& lattice) {
  constexpr std::string_view kClose = "</div>";
  const std::size_t count = lattice.concepts.size();
  const LatticeLayout layout = sugiyama_layout(lattice, kLayoutConfig);
  std::string html;
  html.append(
      "<div class=\"tessara-lattice\"><div style=\"color:#666;font-size:0.85em;margin-bottom:0.25em;\">"
      "Lattice \xE2\x80\x94 ");
  html.append(std::to_string(count));
  html.append(" concepts</div>");
  append_svg(html, layout, kStyle, kClose.size());
  html.append(kClose);
  return html;
}

}  // namespace tessara::layout
