#include "tessara/layout/label_placement.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "tessara/core/fault.hpp"

namespace tessara::layout {
namespace {

// Boxes on a uniform grid of square cells: each box is listed in every cell
// it touches, so an overlap test looks only at the boxes near the candidate.
class BoxGrid {
 public:
  explicit BoxGrid(double cell) : cell_(cell) {}

  void add(const Box& box) {
    const auto id = static_cast<std::uint32_t>(boxes_.size());
    boxes_.push_back(box);
    rightmost_ = std::max(rightmost_, box.right);
    visit_cells(box, [&](std::uint64_t key) {
      cells_[key].push_back(id);
      return true;
    });
  }

  bool is_free(const Box& box) const {
    bool free = true;
    visit_cells(box, [&](std::uint64_t key) {
      const auto found = cells_.find(key);
      if (found == cells_.end()) return true;
      for (const std::uint32_t id : found->second)
        if (boxes_[id].overlaps(box)) {
          free = false;
          return false;
        }
      return true;
    });
    return free;
  }

  // The right edge of everything added so far.
  double rightmost() const noexcept { return rightmost_; }

 private:
  std::int64_t cell_of(double value) const { return static_cast<std::int64_t>(std::floor(value / cell_)); }

  template <typename Visit>
  void visit_cells(const Box& box, Visit&& visit) const {
    const std::int64_t x0 = cell_of(box.left);
    const std::int64_t x1 = cell_of(box.right);
    const std::int64_t y0 = cell_of(box.top);
    const std::int64_t y1 = cell_of(box.bottom);
    for (std::int64_t cy = y0; cy <= y1; ++cy)
      for (std::int64_t cx = x0; cx <= x1; ++cx) {
        const std::uint64_t key = (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint32_t>(cy);
        if (!visit(key)) return;
      }
  }

  double cell_;
  double rightmost_ = -std::numeric_limits<double>::infinity();
  std::vector<Box> boxes_;
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells_;
};

Box padded(const Box& box, double padding) noexcept {
  return Box{box.left - padding, box.top - padding, box.right + padding, box.bottom + padding};
}

Box shifted(const Box& box, double dx, double dy) noexcept {
  return Box{box.left + dx, box.top + dy, box.right + dx, box.bottom + dy};
}

// Offsets to try around the preferred spot, nearest first: sideways in
// steps, and away from the concept in line-height steps (a label is never
// pushed onto the other side of its concept, where the other labels go).
struct Offset {
  double dx;
  double dy;
};

std::vector<Offset> search_offsets(double step, double line, double away) {
  constexpr int kSideways = 24;
  constexpr int kAway = 10;
  std::vector<Offset> offsets;
  for (int j = 0; j <= kAway; ++j)
    for (int i = -kSideways; i <= kSideways; ++i)
      if (i != 0 || j != 0) offsets.push_back(Offset{i * step, j * line * away});
  std::stable_sort(offsets.begin(), offsets.end(), [&](const Offset& a, const Offset& b) {
    return std::fabs(a.dx) + 2.0 * std::fabs(a.dy) < std::fabs(b.dx) + 2.0 * std::fabs(b.dy);
  });
  return offsets;
}

}  // namespace

Box node_box(Point centre, double radius) noexcept {
  return Box{centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius};
}

Box preferred_box(const LabelText& label, Point centre, double radius, double gap) noexcept {
  const double left = centre.x - label.width / 2.0;
  const double right = centre.x + label.width / 2.0;
  if (label.kind == LabelKind::Attributes) {
    const double bottom = centre.y - radius - gap;
    return Box{left, bottom - label.height, right, bottom};
  }
  const double top = centre.y + radius + gap;
  return Box{left, top, right, top + label.height};
}

std::vector<PlacedLabel> place_labels(std::span<const Point> nodes, std::span<const double> radii,
                                      std::vector<LabelText> labels, const PlacementStyle& style) {
  if (radii.size() != nodes.size()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  double line = style.step;
  for (const LabelText& label : labels)
    if (!label.lines.empty()) line = std::max(line, label.height / static_cast<double>(label.lines.size()));
  BoxGrid grid(std::max(4.0 * line, 32.0));
  for (std::size_t v = 0; v < nodes.size(); ++v) grid.add(node_box(nodes[v], radii[v]));
  const std::vector<Offset> up = search_offsets(style.step, line, -1.0);
  const std::vector<Offset> down = search_offsets(style.step, line, 1.0);

  std::vector<PlacedLabel> placed;
  placed.reserve(labels.size());
  for (LabelText& label : labels) {
    if (label.concept_index >= nodes.size()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    const Point centre = nodes[label.concept_index];
    const Box wanted = preferred_box(label, centre, radii[label.concept_index], style.gap);
    PlacedLabel result{std::move(label), wanted, false};
    if (!grid.is_free(padded(wanted, style.padding))) {
      bool found = false;
      for (const Offset& offset : result.text.kind == LabelKind::Attributes ? up : down) {
        const Box candidate = shifted(wanted, offset.dx, offset.dy);
        if (grid.is_free(padded(candidate, style.padding))) {
          result.box = candidate;
          found = true;
          break;
        }
      }
      if (!found) {
        // Right of everything placed so far, at the preferred height.
        result.box = shifted(wanted, grid.rightmost() + style.step + style.padding - wanted.left, 0.0);
      }
      // Away from the circle by more than a line: say whose label it is.
      const double dx = std::max({result.box.left - centre.x, centre.x - result.box.right, 0.0});
      const double dy = std::max({result.box.top - centre.y, centre.y - result.box.bottom, 0.0});
      // Compared squared: hypot would bind a symbol of glibc 2.35, newer than the wheel may ask for.
      const double reach = radii[result.text.concept_index] + style.gap + line;
      result.leader = dx * dx + dy * dy > reach * reach;
    }
    grid.add(result.box);
    placed.push_back(std::move(result));
  }
  return placed;
}

}  // namespace tessara::layout
