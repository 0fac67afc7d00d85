#pragma once

#include <span>
#include <vector>

#include "tessara/layout/drawing.hpp"
#include "tessara/layout/keep_going.hpp"
#include "tessara/layout/label_text.hpp"
#include "tessara/layout/segment_grid.hpp"

namespace tessara::layout {

// A label with the box it was given.
struct PlacedLabel {
  LabelText text;
  Box box;
  bool leader = false;  // placed away from its concept: a thin line joins them
  bool halo = false;    // an edge passes under the text: the writers set it on a background-coloured halo
};

struct PlacementStyle {
  double gap = 3.0;   // between a label and its concept's circle
  double step = 6.0;  // how far apart the spots tried in a search lie
  double padding = 2.0;  // least blank between a label and a circle, and between labels stacked over each other
  double side_gap = 12.0;  // least blank between two labels side by side on one line (an em)
};

// The straight pieces of every edge of a drawing, from its upper end through its bends to its lower end.
std::vector<Segment> edge_segments(const Drawing& drawing);

// The box around a concept's circle.
Box node_box(Point centre, double radius) noexcept;

// Where a label sits when nothing is in its way: centred above its concept
// (attributes) or below it (objects, counts), `gap` from the circle.
Box preferred_box(const LabelText& label, Point centre, double radius, double gap) noexcept;

// Gives every label a box that keeps `padding` from every concept's circle
// and from the labels above and below it, and `side_gap` from the labels
// beside it on its line. Each label goes to the first free spot that no edge
// crosses, trying its preferred box, then the spots beside its circle on the
// same side (to the right, to the left, where the edges leaving the concept
// do not run), then every spot close enough to need no leader, nearest
// first (counts, which have no labels on the other side of their concept,
// try that side too). When every close spot is crossed by an edge, the label
// takes the close free spot crossed by the fewest edges, under a halo; when
// no close spot is free, the first free spot of the whole search, moving
// away from its concept first, with a halo if an edge crosses it there
// (labels move, concepts never do); when even that finds nothing, it goes
// beside everything placed so far, which is always free. A label that ends
// up away from its concept gets a leader line. (Above a few thousand labels,
// a label whose preferred box is free stays there, crossed or not.)
std::vector<PlacedLabel> place_labels(std::span<const Point> nodes, std::span<const double> radii,
                                      std::vector<LabelText> labels, const PlacementStyle& style = {},
                                      std::span<const Segment> edges = {}, const KeepGoing& keep = {});

}  // namespace tessara::layout
