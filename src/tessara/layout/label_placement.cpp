#include "tessara/layout/label_placement.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>

#include "tessara/core/fault.hpp"

namespace tessara::layout {
namespace {

// Items on a uniform grid of square cells: each item is listed in every cell
// it touches, so a test looks only at the items near the candidate.
class CellIndex {
 public:
  explicit CellIndex(double cell) : cell_(cell) {}

  std::int64_t cell_of(double value) const { return static_cast<std::int64_t>(std::floor(value / cell_)); }
  double cell() const noexcept { return cell_; }

  void add(std::int64_t cx, std::int64_t cy, std::uint32_t id) { cells_[key(cx, cy)].push_back(id); }

  // Calls visit(id) for the items of every cell the box touches until visit says stop.
  template <typename Visit>
  bool visit(const Box& box, Visit&& visit) const {
    const std::int64_t x0 = cell_of(box.left);
    const std::int64_t x1 = cell_of(box.right);
    const std::int64_t y0 = cell_of(box.top);
    const std::int64_t y1 = cell_of(box.bottom);
    for (std::int64_t cy = y0; cy <= y1; ++cy)
      for (std::int64_t cx = x0; cx <= x1; ++cx) {
        const auto found = cells_.find(key(cx, cy));
        if (found == cells_.end()) continue;
        for (const std::uint32_t id : found->second)
          if (!visit(id)) return false;
      }
    return true;
  }

 private:
  static std::uint64_t key(std::int64_t cx, std::int64_t cy) {
    return (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint32_t>(cy);
  }

  double cell_;
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells_;
};

// The circles and the labels placed so far.
class BoxGrid {
 public:
  BoxGrid(double cell, double padding, double side_gap)
      : index_(cell), padding_(padding), side_gap_(side_gap) {}

  void add(const Box& box, bool label) {
    const auto id = static_cast<std::uint32_t>(boxes_.size());
    boxes_.push_back(box);
    is_label_.push_back(label ? 1 : 0);
    rightmost_ = std::max(rightmost_, box.right);
    for (std::int64_t cy = index_.cell_of(box.top); cy <= index_.cell_of(box.bottom); ++cy)
      for (std::int64_t cx = index_.cell_of(box.left); cx <= index_.cell_of(box.right); ++cx) index_.add(cx, cy, id);
  }

  // Whether a label may take the box: padding from every circle and from the
  // labels above or below it, side_gap from the labels beside it.
  bool is_free(const Box& box) const {
    const double reach = std::max(padding_, side_gap_);
    const Box near{box.left - reach, box.top - padding_, box.right + reach, box.bottom + padding_};
    return index_.visit(near, [&](std::uint32_t id) {
      const Box& other = boxes_[id];
      const double side = is_label_[id] ? side_gap_ : padding_;
      return !(box.left < other.right + side && other.left < box.right + side && box.top < other.bottom + padding_ &&
               other.top < box.bottom + padding_);
    });
  }

  // The right edge of everything added so far.
  double rightmost() const noexcept { return rightmost_; }

 private:
  CellIndex index_;
  double padding_;
  double side_gap_;
  double rightmost_ = -std::numeric_limits<double>::infinity();
  std::vector<Box> boxes_;
  std::vector<char> is_label_;
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

// How many of the search's nearest spots are tried for one that no edge crosses.
constexpr std::size_t kEdgeFreeSearch = 60;
// Up to this many labels, every spot close enough to need no leader is tried
// (on a 3-pixel grid), then the search's nearest spots, before a label
// settles for a halo; bigger diagrams, labelled with counts and dense with
// edges, try only the preferred spot for one clear of edges, so that the
// placement costs little more than finding a free spot.
constexpr std::size_t kCloseSearchLabels = 3000;
constexpr double kCloseStep = 3.0;
// Labels placed between two questions whether to go on.
constexpr std::size_t kLabelsPerCheck = 64;
constexpr std::size_t kNodesPerCheck = 4096;

// The offsets from the preferred box of every box on its side of the concept
// whose nearest point lies within `reach` of the centre, nearest the
// preferred box first. The preferred box is `gap` from the circle; the boxes
// may come up to the centre's level (beside the circle), or past it by
// `past` (a label with no labels on the other side of its concept).
void close_offsets(std::vector<Offset>& out, double width, double radius, double gap, double reach, double away,
                   double past) {
  out.clear();
  const double toward = radius + gap + past;  // from the preferred box back to the centre's level, and past it
  for (double dy = -toward; dy <= reach - radius - gap + 1e-9; dy += kCloseStep) {
    // The box's vertical distance from the centre, and how far sideways it may go.
    const double vertical = std::max(0.0, radius + gap + dy);
    if (vertical > reach) break;
    const double sideways = std::sqrt(reach * reach - vertical * vertical);
    const double limit = width / 2.0 + sideways;
    for (double dx = -limit; dx <= limit + 1e-9; dx += kCloseStep) out.push_back(Offset{dx, dy * away});
  }
  std::stable_sort(out.begin(), out.end(), [](const Offset& a, const Offset& b) {
    return std::fabs(a.dx) + 2.0 * std::fabs(a.dy) < std::fabs(b.dx) + 2.0 * std::fabs(b.dy);
  });
}

// The boxes beside the circle on the label's side of the concept: right and
// left of it, level with the centre or a line further out.
std::array<Box, 4> beside_boxes(const Box& wanted, Point centre, double radius, double gap, double line, bool up) {
  const double width = wanted.right - wanted.left;
  const double height = wanted.bottom - wanted.top;
  const double near_top = up ? centre.y - height : centre.y;
  const double far_top = up ? near_top - line / 2.0 : near_top + line / 2.0;
  const double right = centre.x + radius + gap;
  const double left = centre.x - radius - gap - width;
  return {Box{right, near_top, right + width, near_top + height}, Box{left, near_top, left + width, near_top + height},
          Box{right, far_top, right + width, far_top + height}, Box{left, far_top, left + width, far_top + height}};
}

}  // namespace

std::vector<Segment> edge_segments(const Drawing& drawing) {
  std::vector<Segment> segments;
  segments.reserve(drawing.edges.size() + drawing.bends.size());
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    Point from = drawing.nodes[drawing.edges[e].upper];
    for (const Point& bend : drawing.bends_of(e)) {
      segments.push_back(Segment{from, bend});
      from = bend;
    }
    segments.push_back(Segment{from, drawing.nodes[drawing.edges[e].lower]});
  }
  return segments;
}

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
                                      std::vector<LabelText> labels, const PlacementStyle& style,
                                      std::span<const Segment> edges, const KeepGoing& keep) {
  if (radii.size() != nodes.size()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  double line = style.step;
  for (const LabelText& label : labels)
    if (!label.lines.empty()) line = std::max(line, label.height / static_cast<double>(label.lines.size()));
  const double cell = std::max(4.0 * line, 32.0);
  BoxGrid grid(cell, style.padding, style.side_gap);
  for (std::size_t v = 0; v < nodes.size(); ++v) {
    if (v % kNodesPerCheck == 0 && !keep_going(keep)) return {};
    grid.add(node_box(nodes[v], radii[v]), false);
  }
  const SegmentGrid segments(cell, labels.empty() ? std::span<const Segment>() : edges, keep);
  const std::vector<Offset> up = search_offsets(style.step, line, -1.0);
  const std::vector<Offset> down = search_offsets(style.step, line, 1.0);
  // A label counts as crossed when an edge comes within a pixel of its box.
  const auto crossed = [&](const Box& box) { return segments.crosses(padded(box, 1.0)); };

  const bool dense = labels.size() <= kCloseSearchLabels;
  std::vector<Offset> close;
  std::vector<std::uint32_t> seen;
  std::vector<PlacedLabel> placed;
  placed.reserve(labels.size());
  for (LabelText& label : labels) {
    // A crowded diagram takes tens of microseconds a label: a stopped placement leaves every few hundred.
    if (placed.size() % kLabelsPerCheck == 0 && !keep_going(keep)) return placed;
    if (label.concept_index >= nodes.size()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    const Point centre = nodes[label.concept_index];
    const double radius = radii[label.concept_index];
    const Box wanted = preferred_box(label, centre, radius, style.gap);
    const bool upward = label.kind == LabelKind::Attributes;
    // Counts have no labels on the other side of their concept: they may go above it too.
    const bool either_side = label.kind == LabelKind::Counts;
    const std::vector<Offset>& offsets = upward ? up : down;
    PlacedLabel result{std::move(label), wanted, false, false};
    bool found = false;
    // Whether a box lies so far from its circle that a leader must say whose label it is.
    const double reach = radius + style.gap + line;
    const auto needs_leader = [&](const Box& box) {
      const double dx = std::max({box.left - centre.x, centre.x - box.right, 0.0});
      const double dy = std::max({box.top - centre.y, centre.y - box.bottom, 0.0});
      // Compared squared: hypot would bind a symbol of glibc 2.35, newer than the wheel may ask for.
      return dx * dx + dy * dy > reach * reach;
    };
    bool found_clear = false;
    // The free spot close to the concept crossed by the fewest edges, should no spot be clear of them.
    std::optional<Box> least_crossed;
    std::size_t least_crossings = std::numeric_limits<std::size_t>::max();
    // First choice: a free spot close to the concept that no edge crosses.
    const auto try_clear = [&](const Box& candidate) {
      if (needs_leader(candidate) || !grid.is_free(candidate)) return false;
      const std::size_t crossings = segments.count(padded(candidate, 1.0), least_crossings, seen);
      if (crossings > 0) {
        if (crossings < least_crossings) {
          least_crossings = crossings;
          least_crossed = candidate;
        }
        return false;
      }
      result.box = candidate;
      found_clear = true;
      return found = true;
    };
    const auto try_close = [&](const Box& from, double away) {
      close_offsets(close, from.right - from.left, radius, style.gap, reach, away,
                    either_side ? (from.bottom - from.top) / 2.0 : 0.0);
      for (std::size_t i = 0; !found && i < close.size(); ++i) try_clear(shifted(from, close[i].dx, close[i].dy));
    };
    // (A big diagram's label goes to its preferred spot when that is free, clear or not: no need to look.)
    if (dense && !try_clear(wanted)) {
      for (const Box& candidate : beside_boxes(wanted, centre, radius, style.gap, line, upward))
        if (try_clear(candidate)) break;
      if (!found) try_close(wanted, upward ? -1.0 : 1.0);
      for (std::size_t i = 0; !found && i < std::min(kEdgeFreeSearch, offsets.size()); ++i)
        try_clear(shifted(wanted, offsets[i].dx, offsets[i].dy));
      if (!found && either_side) {
        LabelText above = result.text;
        above.kind = LabelKind::Attributes;
        try_close(preferred_box(above, centre, radius, style.gap), -1.0);
      }
      if (!found && least_crossed) {
        result.box = *least_crossed;
        found = true;
      }
    }
    // Then the nearest free spot, crossed or not.
    if (!found && grid.is_free(wanted)) {
      result.box = wanted;
      found = true;
    }
    for (std::size_t i = 0; !found && i < offsets.size(); ++i) {
      const Box candidate = shifted(wanted, offsets[i].dx, offsets[i].dy);
      if (grid.is_free(candidate)) {
        result.box = candidate;
        found = true;
      }
    }
    if (!found) {
      // Right of everything placed so far, at the preferred height.
      result.box = shifted(wanted, grid.rightmost() + style.side_gap + style.padding - wanted.left, 0.0);
    }
    // A spot chosen as clear needs no second look.
    const bool chosen_clear = found_clear;
    result.halo = !chosen_clear && crossed(result.box);
    result.leader = needs_leader(result.box);
    grid.add(result.box, true);
    placed.push_back(std::move(result));
  }
  return placed;
}

}  // namespace tessara::layout
