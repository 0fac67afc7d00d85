#include <algorithm>
#include <cstdint>
#include <string>

#include "tessara/layout/diagram_style.hpp"
#include "tessara/layout/diagram_writers.hpp"
#include "tessara/layout/number_text.hpp"
#include "tessara/layout/text_escape.hpp"
#include "tessara/layout/text_metrics.hpp"

namespace tessara::layout {
namespace {

void append_number(std::string& out, double value) { append_fixed1(out, value); }

void append_unsigned(std::string& out, std::uint64_t value) { out += std::to_string(value); }

// name="value" with a number.
void attribute(std::string& out, std::string_view name, double value) {
  out += ' ';
  out += name;
  out += "=\"";
  append_number(out, value);
  out += '"';
}

void attribute(std::string& out, std::string_view name, std::string_view text) {
  out += ' ';
  out += name;
  out += "=\"";
  append_xml(out, text);
  out += '"';
}

void append_edges(std::string& out, const Diagram& diagram, bool marks) {
  out += "  <g class=\"edges\" fill=\"none\"";
  attribute(out, "stroke", style::kEdge);
  attribute(out, "stroke-width", style::kEdgeWidth);
  out += " stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
  const Drawing& drawing = diagram.drawing;
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    const core::CoverEdge edge = drawing.edges[e];
    out += "    <path d=\"M";
    const Point upper = drawing.nodes[edge.upper];
    append_number(out, upper.x);
    out += ' ';
    append_number(out, upper.y);
    for (const Point& bend : drawing.bends_of(e)) {
      out += 'L';
      append_number(out, bend.x);
      out += ' ';
      append_number(out, bend.y);
    }
    const Point lower = drawing.nodes[edge.lower];
    out += 'L';
    append_number(out, lower.x);
    out += ' ';
    append_number(out, lower.y);
    out += "\" data-upper=\"";
    append_unsigned(out, edge.upper);
    out += "\" data-lower=\"";
    append_unsigned(out, edge.lower);
    out += '"';
    if (diagram.skips(e)) out += " class=\"skips\" stroke-dasharray=\"5 4\"";
    const Mark mark = marks ? diagram.edge_marks[e] : Mark::Plain;
    if (mark != Mark::Plain) {
      attribute(out, "stroke", style::edge_stroke(mark));
      if (mark != Mark::Faded) attribute(out, "stroke-width", style::kMarkedEdgeWidth);
    }
    out += "/>\n";
  }
  out += "  </g>\n";
}

void append_leaders(std::string& out, const Diagram& diagram) {
  bool any = false;
  for (const PlacedLabel& label : diagram.labels) {
    if (!label.leader) continue;
    if (!any) {
      out += "  <g class=\"leaders\"";
      attribute(out, "stroke", style::kLeader);
      out += " stroke-width=\"0.8\" stroke-dasharray=\"2 2\">\n";
      any = true;
    }
    const Point centre = diagram.nodes[label.text.concept_index].centre;
    const Box& b = label.box;
    const double x = std::clamp(centre.x, b.left, b.right);
    const double y = centre.y < b.top ? b.top : b.bottom;
    out += "    <line";
    attribute(out, "x1", centre.x);
    attribute(out, "y1", centre.y);
    attribute(out, "x2", x);
    attribute(out, "y2", y);
    out += "/>\n";
  }
  if (any) out += "  </g>\n";
}

void append_nodes(std::string& out, const Diagram& diagram, bool marks) {
  const std::vector<std::uint64_t>& intent_sizes = diagram.facts.intent_size;
  out += "  <g class=\"nodes\"";
  attribute(out, "stroke", style::kNodeStroke);
  attribute(out, "stroke-width", style::kNodeStrokeWidth);
  out += ">\n";
  for (std::size_t v = 0; v < diagram.nodes.size(); ++v) {
    DiagramNode node = diagram.nodes[v];
    if (!marks) node.mark = Mark::Plain;
    out += "    <circle";
    attribute(out, "cx", node.centre.x);
    attribute(out, "cy", node.centre.y);
    attribute(out, "r", node.radius);
    attribute(out, "fill", style::node_fill(node));
    if (node.mark != Mark::Plain) attribute(out, "stroke", style::node_stroke(node.mark));
    out += " data-concept=\"";
    append_unsigned(out, v);
    out += "\"><title>concept ";
    append_unsigned(out, diagram.lattice_index(v));
    out += ": ";
    append_unsigned(out, diagram.facts.support[v]);
    out += diagram.facts.support[v] == 1 ? " object, " : " objects, ";
    append_unsigned(out, intent_sizes[v]);
    out += intent_sizes[v] == 1 ? " attribute" : " attributes";
    out += "</title></circle>\n";
  }
  out += "  </g>\n";
}

void append_labels(std::string& out, const Diagram& diagram) {
  // Labels an edge runs under carry a halo: a background-coloured stroke
  // painted beneath the glyphs, so the edge stops short of the letters.
  out += "  <g class=\"labels\" text-anchor=\"middle\">\n";
  for (const PlacedLabel& label : diagram.labels) {
    out += "    <text class=\"";
    out += style::kind_name(label.text.kind);
    if (label.halo) out += " halo";
    out += '"';
    if (label.halo) {
      attribute(out, "stroke", style::kHalo);
      attribute(out, "stroke-width", style::kHaloWidth);
      out += " stroke-linejoin=\"round\" paint-order=\"stroke\"";
    }
    out += " data-concept=\"";
    append_unsigned(out, label.text.concept_index);
    out += '"';
    attribute(out, "fill", style::label_fill(label.text.kind));
    out += '>';
    const double x = (label.box.left + label.box.right) / 2.0;
    for (std::size_t i = 0; i < label.text.lines.size(); ++i) {
      out += "<tspan";
      attribute(out, "x", x);
      attribute(out, "y", style::baseline(label.box.top, i, diagram.font_size, diagram.line_height));
      out += '>';
      append_xml(out, label.text.lines[i]);
      out += "</tspan>";
    }
    out += "</text>\n";
  }
  out += "  </g>\n";
}

}  // namespace

void append_svg_element(std::string& out, const Diagram& diagram, bool marks) {
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"tessara-diagram\"";
  out += " viewBox=\"0 0 ";
  append_number(out, diagram.width);
  out += ' ';
  append_number(out, diagram.height);
  out += '"';
  attribute(out, "width", diagram.width);
  attribute(out, "height", diagram.height);
  attribute(out, "font-family", kFontFamily);
  attribute(out, "font-size", diagram.font_size);
  out += " style=\"font-kerning:none;font-variant-ligatures:none\">\n";
  out += "  <title>";
  append_xml(out, "Concept lattice: " + diagram.caption);
  out += "</title>\n  <rect class=\"background\" x=\"0\" y=\"0\"";
  attribute(out, "width", diagram.width);
  attribute(out, "height", diagram.height);
  out += " fill=\"#ffffff\"/>\n  <text class=\"caption\"";
  attribute(out, "x", diagram.caption_box.left);
  attribute(out, "y", style::baseline(diagram.caption_box.top, 0, diagram.font_size,
                                      diagram.caption_box.bottom - diagram.caption_box.top));
  attribute(out, "fill", style::kCaptionText);
  out += '>';
  append_xml(out, diagram.caption);
  out += "</text>\n";
  append_edges(out, diagram, marks);
  append_leaders(out, diagram);
  append_nodes(out, diagram, marks);
  append_labels(out, diagram);
  out += "</svg>\n";
}

std::string diagram_svg(const Diagram& diagram) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  append_svg_element(out, diagram);
  return out;
}

}  // namespace tessara::layout
