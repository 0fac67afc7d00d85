#include <cmath>
#include <string>

#include "tessara/layout/diagram_style.hpp"
#include "tessara/layout/diagram_writers.hpp"
#include "tessara/layout/number_text.hpp"
#include "tessara/layout/text_escape.hpp"

namespace tessara::layout {
namespace {

// A "#rrggbb" colour as xcolor's rgb,255 model.
std::string tikz_colour(std::string_view hex) {
  const auto channel = [&](std::size_t at) { return std::stoi(std::string(hex.substr(at, 2)), nullptr, 16); };
  return "{rgb,255:red," + std::to_string(channel(1)) + ";green," + std::to_string(channel(3)) + ";blue," +
         std::to_string(channel(5)) + "}";
}

void append_coordinate(std::string& out, Point p) {
  out += '(';
  append_fixed1(out, p.x);
  out += ',';
  append_fixed1(out, p.y);
  out += ')';
}

}  // namespace

std::string diagram_tikz(const Diagram& diagram) {
  std::string out = "% Concept lattice drawn by tessara: ";
  append_tex(out, diagram.caption);
  out +=
      "\n% Compile with lualatex or xelatex for names in any script (pdflatex takes Latin ones);\n"
      "% the tikzpicture can be copied into a document that loads tikz.\n"
      "\\documentclass[tikz,border=4pt]{standalone}\n"
      "\\usepackage{iftex}\n"
      "\\iftutex\\usepackage{fontspec}\\else\\usepackage[T1]{fontenc}\\fi\n"
      "\\begin{document}\n"
      "% One unit is a CSS pixel (0.75 pt); y grows downward as in the SVG drawing.\n"
      "\\begin{tikzpicture}[x=0.75pt, y=-0.75pt,\n"
      "  edge/.style={draw=" + tikz_colour(style::kEdge) + ", line width=0.9pt},\n"
      "  concept/.style={circle, draw=" + tikz_colour(style::kNodeStroke) + ", line width=0.9pt, inner sep=0pt},\n"
      "  leader/.style={draw=" + tikz_colour(style::kLeader) + ", line width=0.6pt, dash pattern=on 1.5pt off 1.5pt},\n"
      "  skips/.style={dash pattern=on 3.75pt off 3pt},\n"
      "  halo/.style={fill=" + tikz_colour(style::kHalo) + ", inner sep=1pt},\n"
      "  label/.style={inner sep=0pt, align=center, font=\\fontsize{";
  append_shortest(out, diagram.font_size * 0.75);
  out += "}{";
  append_shortest(out, diagram.line_height * 0.75);
  out += "}\\selectfont},\n";
  for (const LabelKind kind : {LabelKind::Attributes, LabelKind::Objects, LabelKind::Counts}) {
    out += "  ";
    out += style::kind_name(kind);
    out += "/.style={label, text=" + tikz_colour(style::label_fill(kind)) + "},\n";
  }
  out += "]\n";
  const Drawing& drawing = diagram.drawing;
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    out += "\\draw[edge";
    if (diagram.skips(e)) out += ", skips";
    const Mark mark = diagram.edge_marks[e];
    if (mark != Mark::Plain) out += ", draw=" + tikz_colour(style::edge_stroke(mark));
    out += "] ";
    append_coordinate(out, drawing.nodes[drawing.edges[e].upper]);
    for (const Point& bend : drawing.bends_of(e)) {
      out += " -- ";
      append_coordinate(out, bend);
    }
    out += " -- ";
    append_coordinate(out, drawing.nodes[drawing.edges[e].lower]);
    out += ";\n";
  }
  for (const PlacedLabel& label : diagram.labels) {
    if (!label.leader) continue;
    const Point centre = diagram.nodes[label.text.concept_index].centre;
    out += "\\draw[leader] ";
    append_coordinate(out, centre);
    out += " -- ";
    append_coordinate(out, Point{std::clamp(centre.x, label.box.left, label.box.right),
                                 centre.y < label.box.top ? label.box.top : label.box.bottom});
    out += ";\n";
  }
  for (std::size_t v = 0; v < diagram.nodes.size(); ++v) {
    const DiagramNode& node = diagram.nodes[v];
    out += "\\node[concept, minimum size=";
    append_shortest(out, std::round(2.0 * node.radius * 0.75 * 100.0) / 100.0);
    out += "pt, fill=" + tikz_colour(style::node_fill(node));
    if (node.mark != Mark::Plain) out += ", draw=" + tikz_colour(style::node_stroke(node.mark));
    out += "] (c" + std::to_string(v) + ") at ";
    append_coordinate(out, node.centre);
    out += " {};\n";
  }
  for (const PlacedLabel& label : diagram.labels) {
    out += "\\node[";
    out += style::kind_name(label.text.kind);
    // A halo's box grows by its inner sep: the anchor moves up as much, so the text stays put.
    out += label.halo ? ", halo, anchor=north] at " : ", anchor=north] at ";
    append_coordinate(out, Point{(label.box.left + label.box.right) / 2.0, label.box.top - (label.halo ? 4.0 / 3.0 : 0.0)});
    out += " {";
    for (std::size_t i = 0; i < label.text.lines.size(); ++i) {
      if (i > 0) out += "\\\\ ";
      append_tex(out, label.text.lines[i]);
    }
    out += "};\n";
  }
  out += "\\end{tikzpicture}\n\\end{document}\n";
  return out;
}

}  // namespace tessara::layout
