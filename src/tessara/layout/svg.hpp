#pragma once

#include <string>

#include "tessara/core/concept.hpp"
#include "tessara/layout/sugiyama.hpp"

namespace tessara::layout {

struct SvgStyle {
  double margin = 30.0;       // blank border on every side
  double node_radius = 6.0;   // radius of each concept's circle
  double stroke_width = 1.5;  // stroke of the lines and of the circles
};

// The SVG document of a laid-out lattice: one grey line per edge (upper end
// first), then one white circle per node, shifted so that the drawing starts
// `margin` from the top-left corner. Every line ends with a line feed.
std::string write_svg(const LatticeLayout& layout, const SvgStyle& style);

// Lays the lattice out with the fixed drawing settings and writes its SVG
// document. Fills the lattice's cover cache on first use.
std::string render_lattice_svg(core::ConceptLattice& lattice);

// The SVG document inside a captioned div, as shown by notebooks.
std::string render_lattice_html(core::ConceptLattice& lattice);

}  // namespace tessara::layout
