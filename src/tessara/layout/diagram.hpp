#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessara/layout/concept_facts.hpp"
#include "tessara/layout/drawing.hpp"
#include "tessara/layout/keep_going.hpp"
#include "tessara/layout/label_placement.hpp"

namespace tessara::layout {

enum class LabelMode : std::uint8_t {
  Automatic,  // Reduced, or Counts for lattices above DiagramOptions::automatic_counts_above
  Reduced,    // each attribute name once above its attribute concept, each object name once below its object concept
  Full,       // the whole intent above and the whole extent below every concept
  Counts,     // the support, and the number of own objects, below every concept
  None,
};

enum class LayoutKind : std::uint8_t { Layered, Additive };

// The names the choices go by, in the order they are listed in messages.
std::optional<LabelMode> label_mode_by_name(std::string_view name);
std::optional<LayoutKind> layout_by_name(std::string_view name);
std::string_view name_of(LabelMode mode);
std::string_view name_of(LayoutKind layout);
// "`labels` must be one of: reduced, full, counts, none (not 'x')" and the like.
std::string unknown_label_mode_message(std::string_view name);
std::string unknown_layout_message(std::string_view name);

struct DiagramOptions {
  LabelMode labels = LabelMode::Automatic;
  LayoutKind layout = LayoutKind::Layered;
  std::optional<std::uint32_t> highlight;  // a concept drawn with its upper and lower sets
  bool size_by_support = false;            // circle area grows with the support
  bool shade_by_support = false;           // circle fill darkens with the support
  double font_size = 12.0;
  double node_radius = 6.0;
  double max_label_width = 180.0;  // labels wrap at this width
  std::uint32_t max_label_lines = 4;
  std::size_t automatic_counts_above = 300;  // concepts
  double margin = 16.0;
  // Asked between the steps of the layout; once false, make_diagram returns
  // early with an incomplete diagram, for the caller to throw away.
  KeepGoing keep_going;
};

// How a concept or an edge is drawn when a concept is highlighted.
enum class Mark : std::uint8_t { Plain, Focus, Above, Below, Faded };

struct DiagramNode {
  Point centre;
  double radius;
  double shade;  // 0 (white) to 1 (darkest), from the support when shading
  Mark mark;
};

// A laid-out, labelled diagram, in picture units (CSS pixels) with the
// origin at the top left and y growing downward; everything it shows lies
// inside width x height. The writers turn it into SVG, HTML, DOT, TikZ or
// JSON.
struct Diagram {
  std::vector<std::string> object_names;
  std::vector<std::string> attribute_names;
  LabelMode label_mode = LabelMode::Reduced;  // as drawn (never Automatic)
  bool counts_for_size = false;           // Automatic chose Counts for a large lattice
  LayoutKind layout = LayoutKind::Layered;
  std::optional<std::uint32_t> highlight;
  double font_size = 12.0;
  double line_height = 14.5;

  std::vector<DiagramNode> nodes;  // by concept index
  Drawing drawing;                 // positions as in nodes, the edges and their bends
  std::vector<Mark> edge_marks;    // by edge
  ConceptFacts facts;
  // Each concept's extent and intent, filled only when they cannot be read
  // off the own objects below and own attributes above a concept (some
  // object or attribute concept is not drawn).
  IndexLists extents;
  IndexLists intents;
  std::vector<PlacedLabel> labels;
  std::string caption;
  Box caption_box{};
  double width = 0.0;
  double height = 0.0;
  std::uint64_t crossings = 0;  // edge crossings of the drawing
  // A focus view draws some concepts of a bigger lattice: each drawn
  // concept's index in that lattice, and by edge whether it skips concepts
  // that are not drawn (drawn dashed). Both empty for a whole drawing.
  std::vector<std::uint32_t> lattice_indices;
  std::vector<char> edge_skips;
  std::size_t lattice_size = 0;

  // The lattice index of drawn concept v.
  std::uint32_t lattice_index(std::size_t v) const noexcept {
    return lattice_indices.empty() ? static_cast<std::uint32_t>(v) : lattice_indices[v];
  }
  bool skips(std::size_t e) const noexcept { return !edge_skips.empty() && edge_skips[e] != 0; }
};

// Lays out and labels a diagram of the concepts. A highlight index beyond
// the concepts is an internal fault (callers check it first).
Diagram make_diagram(const DiagramSource& source, const DiagramOptions& options);

// A focus view: the chosen concepts of a lattice (indices into `concepts`,
// distinct, in any order) with the order the lattice induces among them. The
// edges are the covers of that order, dashed where they skip concepts not
// chosen; reduced labels name each attribute at the largest chosen concepts
// with it in their intent and each object at the smallest with it in their
// extent, so intents and extents still read off the labels. A highlight is a
// position in `chosen`. An index out of range is an internal fault (callers
// check it first).
Diagram make_focus_diagram(const core::Context& context, const core::ConceptList& concepts,
                           std::span<const core::CoverEdge> edges, std::span<const std::uint32_t> chosen,
                           const DiagramOptions& options);

}  // namespace tessara::layout
