#include <string>

#include "tessara/layout/diagram_style.hpp"
#include "tessara/layout/diagram_writers.hpp"
#include "tessara/layout/number_text.hpp"
#include "tessara/layout/text_escape.hpp"

namespace tessara::layout {
namespace {

// Points per picture unit (CSS pixel): 72 to the inch against 96.
constexpr double kPointsPerUnit = 0.75;

void append_point(std::string& out, double value) { append_fixed1(out, value * kPointsPerUnit); }

// The label lines of each concept, attributes first.
std::vector<std::string> label_lines_by_concept(const Diagram& diagram) {
  std::vector<std::string> text(diagram.nodes.size());
  for (const LabelKind kind : {LabelKind::Attributes, LabelKind::Objects, LabelKind::Counts})
    for (const PlacedLabel& label : diagram.labels) {
      if (label.text.kind != kind) continue;
      std::string& joined = text[label.text.concept_index];
      for (const std::string& line : label.text.lines) {
        if (!joined.empty()) joined += '\n';
        joined += line;
      }
    }
  return text;
}

}  // namespace

std::string diagram_dot(const Diagram& diagram) {
  std::string out = "// Concept lattice drawn by tessara (";
  out += name_of(diagram.layout);
  out += " layout, ";
  out += name_of(diagram.label_mode);
  out += " labels). Positions are in points, y up: `neato -n2 -Tsvg` keeps them, `dot -Tsvg` lays the graph out anew.\n";
  out += "digraph lattice {\n  graph [splines=false, outputorder=edgesfirst, labelloc=t, fontname=\"DejaVu Sans\", "
         "fontsize=9, label=";
  append_dot_string(out, diagram.caption);
  out += ", bb=\"0,0,";
  append_point(out, diagram.width);
  out += ',';
  append_point(out, diagram.height);
  out += "\"];\n  node [shape=circle, fixedsize=true, label=\"\", style=filled, color=\"";
  out += style::kNodeStroke;
  out += "\", fontname=\"DejaVu Sans\", fontsize=9];\n  edge [dir=none, color=\"";
  out += style::kEdge;
  out += "\"];\n";
  const std::vector<std::string> labels = label_lines_by_concept(diagram);
  for (std::size_t v = 0; v < diagram.nodes.size(); ++v) {
    const DiagramNode& node = diagram.nodes[v];
    out += "  c" + std::to_string(v) + " [pos=\"";
    append_point(out, node.centre.x);
    out += ',';
    append_point(out, diagram.height - node.centre.y);
    out += "!\", width=";
    append_shortest(out, 2.0 * node.radius / 96.0);
    out += ", fillcolor=\"" + style::node_fill(node) + "\", tooltip=";
    append_dot_string(out, "concept " + std::to_string(diagram.lattice_index(v)) + ": support " + std::to_string(diagram.facts.support[v]));
    if (!labels[v].empty()) {
      out += ", xlabel=";
      append_dot_string(out, labels[v]);
    }
    out += "];\n";
  }
  for (std::size_t e = 0; e < diagram.drawing.edges.size(); ++e) {
    const core::CoverEdge edge = diagram.drawing.edges[e];
    out += "  c" + std::to_string(edge.upper) + " -> c" + std::to_string(edge.lower);
    const Mark mark = diagram.edge_marks[e];
    if (mark != Mark::Plain || diagram.skips(e)) {
      out += " [";
      if (mark != Mark::Plain) {
        out += "color=\"";
        out += style::edge_stroke(mark);
        out += '"';
      }
      if (diagram.skips(e)) out += mark != Mark::Plain ? ", style=dashed" : "style=dashed";
      out += ']';
    }
    out += ";\n";
  }
  out += "}\n";
  return out;
}

}  // namespace tessara::layout
