#include "tessara/layout/label_placement.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "diagram_support.hpp"
#include "tessara/layout/layered_layout.hpp"
#include "tessara/layout/segment_grid.hpp"

namespace {

using tessara::layout::Box;
using tessara::layout::LabelKind;
using tessara::layout::LabelText;
using tessara::layout::Point;
using tessara::layout::Segment;

// Whether a segment meets a box, by the textbook route: an end inside the box,
// or the segment properly or improperly crossing one of the box's sides.
double orientation(Point a, Point b, Point c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

bool on_segment(Point a, Point b, Point p) {
  return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
         p.y <= std::max(a.y, b.y);
}

bool segments_intersect(Point a, Point b, Point c, Point d) {
  const double d1 = orientation(c, d, a);
  const double d2 = orientation(c, d, b);
  const double d3 = orientation(a, b, c);
  const double d4 = orientation(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return true;
  return (d1 == 0 && on_segment(c, d, a)) || (d2 == 0 && on_segment(c, d, b)) || (d3 == 0 && on_segment(a, b, c)) ||
         (d4 == 0 && on_segment(a, b, d));
}

bool reference_meets(const Segment& s, const Box& box) {
  const auto inside = [&](Point p) { return box.left <= p.x && p.x <= box.right && box.top <= p.y && p.y <= box.bottom; };
  if (inside(s.from) || inside(s.to)) return true;
  const Point corners[4] = {{box.left, box.top}, {box.right, box.top}, {box.right, box.bottom}, {box.left, box.bottom}};
  for (int i = 0; i < 4; ++i)
    if (segments_intersect(s.from, s.to, corners[i], corners[(i + 1) % 4])) return true;
  return false;
}

// Scenes of segments as drawings make them: short and long, slanted, level,
// upright, single points, on integer coordinates (so ends land exactly on box
// sides) or anywhere, spread over a small or a very wide area.
struct SceneShape {
  const char* name;
  int segments;
  double spread;      // the area's width and height
  double longest;     // a segment's largest extent
  bool integral;      // coordinates on whole pixels
  std::uint32_t seed;
};

std::vector<Segment> random_segments(const SceneShape& shape, std::mt19937& rng) {
  std::uniform_real_distribution<double> where(0.0, shape.spread);
  std::uniform_real_distribution<double> reach(-shape.longest, shape.longest);
  std::uniform_int_distribution<int> kind(0, 9);
  const auto snap = [&](double v) { return shape.integral ? std::round(v) : v; };
  std::vector<Segment> segments;
  for (int i = 0; i < shape.segments; ++i) {
    const Point from{snap(where(rng)), snap(where(rng))};
    Point to{snap(from.x + reach(rng)), snap(from.y + reach(rng))};
    switch (kind(rng)) {
      case 0: to.y = from.y; break;  // level
      case 1: to.x = from.x; break;  // upright
      case 2: to = from; break;      // a point
      default: break;
    }
    segments.push_back(Segment{from, to});
  }
  return segments;
}

Box random_box(const SceneShape& shape, std::mt19937& rng) {
  std::uniform_real_distribution<double> where(-10.0, shape.spread + 10.0);
  std::uniform_real_distribution<double> size(0.0, 120.0);
  const auto snap = [&](double v) { return shape.integral ? std::round(v) : v; };
  const double left = snap(where(rng));
  const double top = snap(where(rng));
  return Box{left, top, left + snap(size(rng)), top + snap(size(rng) / 4.0)};
}

class SegmentGridAgainstBruteForce : public ::testing::TestWithParam<SceneShape> {};

TEST_P(SegmentGridAgainstBruteForce, AnswersAsEverySegmentWouldBeLookedAt) {
  const SceneShape& shape = GetParam();
  std::mt19937 rng(shape.seed);
  const std::vector<Segment> segments = random_segments(shape, rng);
  const tessara::layout::SegmentGrid grid(32.0, segments);
  std::vector<std::uint32_t> seen;
  for (int trial = 0; trial < 400; ++trial) {
    const Box box = random_box(shape, rng);
    std::size_t meeting = 0;
    for (const Segment& s : segments) {
      const bool meets = tessara::layout::segment_meets(s, box);
      ASSERT_EQ(meets, reference_meets(s, box))
          << shape.name << ": segment (" << s.from.x << "," << s.from.y << ")-(" << s.to.x << "," << s.to.y
          << ") box " << box.left << "," << box.top << "," << box.right << "," << box.bottom;
      meeting += meets ? 1 : 0;
    }
    ASSERT_EQ(grid.crosses(box), meeting > 0) << shape.name << " trial " << trial;
    ASSERT_EQ(grid.count(box, segments.size() + 1, seen), meeting) << shape.name << " trial " << trial;
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{2}, meeting})
      ASSERT_EQ(grid.count(box, limit, seen), std::min(limit, meeting)) << shape.name << " limit " << limit;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, SegmentGridAgainstBruteForce,
    ::testing::Values(SceneShape{"none", 0, 500.0, 50.0, false, 1}, SceneShape{"one", 1, 200.0, 150.0, true, 2},
                      SceneShape{"short on pixels", 300, 400.0, 40.0, true, 3},
                      SceneShape{"long across a small area", 200, 300.0, 600.0, false, 4},
                      SceneShape{"long across a wide area", 500, 20000.0, 8000.0, true, 5},
                      SceneShape{"dense", 2000, 600.0, 80.0, false, 6},
                      SceneShape{"negative coordinates", 300, 400.0, 900.0, true, 7}),
    [](const ::testing::TestParamInfo<SceneShape>& info) {
      std::string name = info.param.name;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

// Random diagrams-to-be: concepts on layers, edges between consecutive and
// further layers, and labels of every kind and width.
struct LabelScene {
  int concepts;
  int layers;
  int labels;
  std::uint32_t seed;
};

class PlacedLabels : public ::testing::TestWithParam<LabelScene> {};

TEST_P(PlacedLabels, KeepClearOfCirclesAndEachOtherAndHaloExactlyWhereEdgesCross) {
  const LabelScene& scene = GetParam();
  std::mt19937 rng(scene.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Point> nodes;
  std::vector<int> layer_of;
  for (int v = 0; v < scene.concepts; ++v) {
    const int layer = static_cast<int>(unit(rng) * scene.layers);
    layer_of.push_back(layer);
    nodes.push_back(Point{std::round(unit(rng) * 60.0 * scene.concepts / scene.layers), 70.0 * layer});
  }
  std::vector<Segment> edges;
  for (int a = 0; a < scene.concepts; ++a)
    for (int b = 0; b < scene.concepts; ++b)
      if (layer_of[a] < layer_of[b] && unit(rng) < 3.0 / scene.concepts) edges.push_back(Segment{nodes[a], nodes[b]});
  const std::vector<double> radii(nodes.size(), 6.0);
  std::vector<LabelText> labels;
  for (int i = 0; i < scene.labels; ++i) {
    LabelText label;
    label.concept_index = static_cast<std::uint32_t>(unit(rng) * scene.concepts);
    const double kind = unit(rng);
    label.kind = kind < 0.4 ? LabelKind::Attributes : kind < 0.8 ? LabelKind::Objects : LabelKind::Counts;
    const int lines = 1 + static_cast<int>(unit(rng) * 3);
    label.lines.assign(static_cast<std::size_t>(lines), "x");
    label.width = 8.0 + std::round(unit(rng) * 150.0);
    label.height = 14.5 * lines;
    labels.push_back(label);
  }
  const tessara::layout::PlacementStyle style{3.0, 6.0, 2.0, 12.5};
  const auto placed = tessara::layout::place_labels(nodes, radii, labels, style, edges);
  ASSERT_EQ(placed.size(), labels.size());
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const Box& box = placed[i].box;
    const LabelText& label = placed[i].text;
    EXPECT_NEAR(box.right - box.left, label.width, 1e-9);
    EXPECT_NEAR(box.bottom - box.top, label.height, 1e-9);
    const Point centre = nodes[label.concept_index];
    // Attributes stay above their concept's centre, objects below; counts may go either way.
    if (label.kind == LabelKind::Attributes) {
      EXPECT_LE(box.bottom, centre.y + 1e-9) << i;
    }
    if (label.kind == LabelKind::Objects) {
      EXPECT_GE(box.top, centre.y - 1e-9) << i;
    }
    for (std::size_t v = 0; v < nodes.size(); ++v) {
      const Box circle = tessara::layout::node_box(nodes[v], radii[v]);
      EXPECT_FALSE(box.overlaps(circle)) << "label " << i << " covers concept " << v;
    }
    for (std::size_t j = i + 1; j < placed.size(); ++j) {
      const Box& other = placed[j].box;
      const bool one_line = box.top < other.bottom && other.top < box.bottom;
      const bool near = box.left < other.right + style.side_gap && other.left < box.right + style.side_gap;
      EXPECT_FALSE(one_line && near) << "labels " << i << " and " << j << " closer than an em";
    }
    const Box touched{box.left - 1.0, box.top - 1.0, box.right + 1.0, box.bottom + 1.0};
    const bool crossed = std::any_of(edges.begin(), edges.end(),
                                     [&](const Segment& s) { return reference_meets(s, touched); });
    EXPECT_EQ(placed[i].halo, crossed) << "label " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, PlacedLabels,
                         ::testing::Values(LabelScene{1, 1, 0, 1}, LabelScene{1, 1, 2, 2}, LabelScene{2, 2, 3, 3},
                                           LabelScene{12, 4, 20, 4}, LabelScene{40, 6, 60, 5},
                                           LabelScene{120, 8, 200, 6}, LabelScene{300, 10, 400, 7}));

// Room asked beside concepts is kept between neighbours, and the concepts
// stay on their layers in their order.
TEST(LayeredLayout, KeepsTheRoomAskedBesideConceptsAndTheOrder) {
  using tessara::layout::NodeExtent;
  using tessara::layout::SideRoom;
  for (tessara::core::Context& context : tessara::testing::seeded_contexts(77, 8, 300)) {
    const auto drawn = tessara::testing::drawn_lattice(std::move(context));
    const std::size_t n = drawn.lattice.concepts.size();
    std::vector<NodeExtent> extents(n);
    for (std::size_t v = 0; v < n; ++v) extents[v] = NodeExtent{6.0 + static_cast<double>(v % 5) * 7.0, 10.0, 10.0};
    tessara::layout::LayeredLayoutOptions options;
    const auto plain = tessara::layout::layered_layout(n, drawn.edges, extents, options);
    std::vector<SideRoom> asked(n);
    for (std::size_t v = 0; v < n; ++v)
      asked[v] = v % 3 == 0 ? SideRoom{0.0, 40.0} : v % 3 == 1 ? SideRoom{25.0, 0.0} : SideRoom{};
    int calls = 0;
    options.respace = [&](const tessara::layout::Drawing& drawing, std::span<SideRoom> room) {
      EXPECT_EQ(drawing.nodes.size(), n);
      if (calls++ > 0) return false;
      std::copy(asked.begin(), asked.end(), room.begin());
      return true;
    };
    const auto spaced = tessara::layout::layered_layout(n, drawn.edges, extents, options);
    EXPECT_EQ(calls, 2);
    std::map<double, std::vector<std::size_t>> plain_layers;
    std::map<double, std::vector<std::size_t>> spaced_layers;
    for (std::size_t v = 0; v < n; ++v) {
      plain_layers[plain.drawing.nodes[v].y].push_back(v);
      spaced_layers[spaced.drawing.nodes[v].y].push_back(v);
    }
    ASSERT_EQ(plain_layers.size(), spaced_layers.size());
    for (auto p = plain_layers.begin(), s = spaced_layers.begin(); p != plain_layers.end(); ++p, ++s) {
      const auto by_x = [](const tessara::layout::Drawing& drawing) {
        return [&drawing](std::size_t a, std::size_t b) { return drawing.nodes[a].x < drawing.nodes[b].x; };
      };
      std::sort(p->second.begin(), p->second.end(), by_x(plain.drawing));
      std::sort(s->second.begin(), s->second.end(), by_x(spaced.drawing));
      EXPECT_EQ(p->second, s->second);
      for (std::size_t i = 1; i < s->second.size(); ++i) {
        const std::size_t a = s->second[i - 1];
        const std::size_t b = s->second[i];
        EXPECT_GE(spaced.drawing.nodes[b].x - spaced.drawing.nodes[a].x + 1e-6,
                  extents[a].half_width + asked[a].right + extents[b].half_width + asked[b].left +
                      options.coordinates.concept_gap);
      }
    }
  }
}

}  // namespace
