#pragma once

#include <span>
#include <vector>

#include "tessara/layout/drawing.hpp"
#include "tessara/layout/label_text.hpp"

namespace tessara::layout {

struct Box {
  double left;
  double top;
  double right;
  double bottom;

  bool overlaps(const Box& other) const noexcept {
    return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
  }
};

// A label with the box it was given.
struct PlacedLabel {
  LabelText text;
  Box box;
  bool leader = false;  // placed away from its concept: a thin line joins them
};

struct PlacementStyle {
  double gap = 3.0;   // between a label and its concept's circle
  double step = 6.0;  // how far apart the spots tried in a search lie
  double padding = 2.0;  // least blank between a moved label and anything else
};

// The box around a concept's circle.
Box node_box(Point centre, double radius) noexcept;

// Where a label sits when nothing is in its way: centred above its concept
// (attributes) or below it (objects, counts), `gap` from the circle.
Box preferred_box(const LabelText& label, Point centre, double radius, double gap) noexcept;

// Gives every label a box that overlaps no concept's circle and no other
// label. Each label goes to its preferred box if that is free; otherwise to
// the nearest free spot of a search around it, moving away from its concept
// first (labels move, concepts never do); and when even that finds nothing,
// beside everything placed so far, which is always free. A label that ends up
// away from its concept gets a leader line.
std::vector<PlacedLabel> place_labels(std::span<const Point> nodes, std::span<const double> radii,
                                      std::vector<LabelText> labels, const PlacementStyle& style = {});

}  // namespace tessara::layout
