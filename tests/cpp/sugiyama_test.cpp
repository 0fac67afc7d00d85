#include "tessara/layout/sugiyama.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "lattice_support.hpp"
#include "tessara/trace/trace.hpp"

namespace {

using tessara::core::AttributeSet;
using tessara::core::Concept;
using tessara::core::ConceptLattice;
using tessara::core::ObjectSet;
using tessara::layout::LayoutConfig;
using tessara::layout::LayoutEdge;

using tessara::testing::lattice_from_extents;

// ---- Trace capture ----

struct CapturedEvent {
  std::string target;
  std::string message;
  std::vector<std::pair<std::string, std::uint64_t>> fields;
};

std::vector<CapturedEvent>& captured() {
  static std::vector<CapturedEvent> events;
  return events;
}

void record(const tessara::trace::Event& event) {
  CapturedEvent copy{std::string(event.target), std::string(event.message), {}};
  for (const auto& field : event.fields) {
    const auto* number = std::get_if<std::uint64_t>(&field.value);
    copy.fields.emplace_back(std::string(field.name), number != nullptr ? *number : ~std::uint64_t{0});
  }
  captured().push_back(std::move(copy));
}

// Installs the recording sink for one test and removes it afterwards.
class SugiyamaTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    captured().clear();
    tessara::trace::set_sink(&record);
  }
  void TearDown() override { tessara::trace::set_sink(nullptr); }
};

// ---- Worked layouts ----

struct Point {
  double x;
  double y;
};

struct LayoutCase {
  std::string name;
  std::uint32_t objects;
  std::vector<std::vector<std::uint32_t>> extents;
  std::uint64_t crossing_iters;
  std::vector<Point> nodes;  // by concept index
  std::vector<LayoutEdge> edges;
  double width;
  double height;
  std::uint64_t layers;
};

class SugiyamaExamples : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SugiyamaExamples, PlacesEveryConceptExactly) {
  const LayoutCase& c = GetParam();
  ConceptLattice lattice = lattice_from_extents(c.objects, c.extents);
  captured().clear();
  tessara::trace::set_sink(&record);
  const auto layout = tessara::layout::sugiyama_layout(
      lattice, LayoutConfig{.node_spacing = 80.0, .layer_spacing = 80.0, .crossing_iters = c.crossing_iters});
  tessara::trace::set_sink(nullptr);

  ASSERT_EQ(layout.nodes.size(), c.nodes.size());
  for (std::size_t i = 0; i < c.nodes.size(); ++i) {
    EXPECT_EQ(layout.nodes[i].concept_index, i);
    EXPECT_EQ(layout.nodes[i].x, c.nodes[i].x) << "concept " << i;
    EXPECT_EQ(layout.nodes[i].y, c.nodes[i].y) << "concept " << i;
  }
  EXPECT_EQ(layout.edges, c.edges);
  EXPECT_EQ(layout.width, c.width);
  EXPECT_EQ(layout.height, c.height);

  ASSERT_EQ(captured().size(), 1u);
  const CapturedEvent& event = captured().front();
  EXPECT_EQ(event.target, "tessara_layout::sugiyama");
  EXPECT_EQ(event.message, "sugiyama layout complete");
  const std::vector<std::pair<std::string, std::uint64_t>> fields{
      {"nodes", c.nodes.size()}, {"edges", c.edges.size()}, {"layers", c.layers}, {"crossing_iters", c.crossing_iters}};
  EXPECT_EQ(event.fields, fields);
}

const std::vector<std::vector<std::uint32_t>> kSix{{0, 1, 2, 3}, {0, 1}, {2, 3}, {2}, {0}, {}};
const std::vector<LayoutEdge> kSixEdges{{0, 1}, {0, 2}, {2, 3}, {1, 4}, {3, 5}, {4, 5}};

INSTANTIATE_TEST_SUITE_P(
    Examples, SugiyamaExamples,
    ::testing::Values(
        LayoutCase{"one_concept", 1, {{0}}, 24, {{0, 0}}, {}, 0.0, 0.0, 1},
        LayoutCase{
            "chain", 3, {{0, 1, 2}, {0, 1}, {0}}, 24, {{0, 0}, {0, 80}, {0, 160}}, {{0, 1}, {1, 2}}, 0.0, 160.0, 3},
        LayoutCase{"six_concepts",
                   4,
                   kSix,
                   24,
                   {{0, 0}, {-40, 80}, {40, 80}, {40, 160}, {-40, 160}, {0, 240}},
                   kSixEdges,
                   80.0,
                   240.0,
                   4},
        LayoutCase{"six_concepts_zero_passes",
                   4,
                   kSix,
                   0,
                   {{0, 0}, {-40, 80}, {40, 80}, {-40, 160}, {40, 160}, {0, 240}},
                   kSixEdges,
                   80.0,
                   240.0,
                   4},
        LayoutCase{"six_concepts_one_downward_pass",
                   4,
                   kSix,
                   1,
                   {{0, 0}, {-40, 80}, {40, 80}, {40, 160}, {-40, 160}, {0, 240}},
                   kSixEdges,
                   80.0,
                   240.0,
                   4},
        LayoutCase{"long_edge",
                   3,
                   {{0, 1, 2}, {0, 1}, {2}, {0}, {}},
                   24,
                   {{0, 0}, {-40, 80}, {40, 80}, {0, 160}, {0, 240}},
                   {{0, 1}, {0, 2}, {1, 3}, {2, 4}, {3, 4}},
                   80.0,
                   240.0,
                   4},
        LayoutCase{"reversed_indices",
                   3,
                   {{}, {0}, {0, 1}, {2}, {0, 1, 2}},
                   24,
                   {{0, 240}, {0, 160}, {-40, 80}, {40, 80}, {0, 0}},
                   {{1, 0}, {3, 0}, {2, 1}, {4, 2}, {4, 3}},
                   80.0,
                   240.0,
                   4},
        // Two concepts of one extent size stay in index order on one layer.
        LayoutCase{"antichain_under_top",
                   2,
                   {{0, 1}, {0}, {1}, {}},
                   24,
                   {{0, 0}, {-40, 80}, {40, 80}, {0, 160}},
                   {{0, 1}, {0, 2}, {1, 3}, {2, 3}},
                   80.0,
                   160.0,
                   3}),
    [](const auto& info) { return info.param.name; });

TEST_F(SugiyamaTrace, EmptyLatticeGivesEmptyLayoutWithoutEventOrCoverCache) {
  ConceptLattice lattice;
  const auto layout = tessara::layout::sugiyama_layout(lattice, LayoutConfig{});
  EXPECT_TRUE(layout.nodes.empty());
  EXPECT_TRUE(layout.edges.empty());
  EXPECT_EQ(layout.width, 0.0);
  EXPECT_EQ(layout.height, 0.0);
  EXPECT_TRUE(captured().empty());
  EXPECT_FALSE(lattice.cover_cache.has_value());
}

TEST_F(SugiyamaTrace, OneLayerStillReportsTheConfiguredPasses) {
  ConceptLattice lattice = lattice_from_extents(0, {{}});
  tessara::layout::sugiyama_layout(lattice,
                                   LayoutConfig{.node_spacing = 80.0, .layer_spacing = 80.0, .crossing_iters = 7});
  ASSERT_EQ(captured().size(), 1u);
  EXPECT_EQ(captured().front().fields.back(), (std::pair<std::string, std::uint64_t>{"crossing_iters", 7}));
}

TEST(SugiyamaLayout, FillsTheCoverCacheAndGivesTheSameLayoutTwice) {
  ConceptLattice lattice = lattice_from_extents(4, kSix);
  const auto first = tessara::layout::sugiyama_layout(lattice, LayoutConfig{});
  ASSERT_TRUE(lattice.cover_cache.has_value());
  const auto second = tessara::layout::sugiyama_layout(lattice, LayoutConfig{});
  ASSERT_EQ(first.nodes.size(), second.nodes.size());
  for (std::size_t i = 0; i < first.nodes.size(); ++i) {
    EXPECT_EQ(first.nodes[i].x, second.nodes[i].x);
    EXPECT_EQ(first.nodes[i].y, second.nodes[i].y);
  }
}

// A concept without neighbours on the fixed layer keeps its own index as key
// and can be passed by a concept whose median is smaller. Layers are [0],
// [1, 2, 3], [4], [5]. In the upward sweep concepts 1 and 2 have no lower
// neighbour on layer 2 and key on their indices 0 and 1, while concept 3 keys
// on concept 4 at position 0: it passes concept 2 and stays behind concept 1
// (equal keys keep their order), giving [1, 3, 2].
TEST(SugiyamaLayout, ConceptWithoutFixedNeighboursCanBePassed) {
  // Extents: 0 top, 1 {o0}, 2 {o1}, 3 {o2, o3}, 4 {o2}, 5 bottom.
  ConceptLattice lattice = lattice_from_extents(4, {{0, 1, 2, 3}, {0}, {1}, {2, 3}, {2}, {}});
  const auto layout = tessara::layout::sugiyama_layout(
      lattice, LayoutConfig{.node_spacing = 80.0, .layer_spacing = 80.0, .crossing_iters = 2});
  EXPECT_EQ(layout.nodes[1].x, -80.0);
  EXPECT_EQ(layout.nodes[3].x, 0.0);
  EXPECT_EQ(layout.nodes[2].x, 80.0);
  EXPECT_EQ(layout.nodes[5].y, 240.0);
}

struct MedianCase {
  std::vector<std::uint32_t> positions;
  std::size_t current_index;
  double key;
};

class MedianKeys : public ::testing::TestWithParam<MedianCase> {};

TEST_P(MedianKeys, KeyIsTheMedianOrTheCurrentIndex) {
  std::vector<std::uint32_t> positions = GetParam().positions;
  EXPECT_EQ(tessara::layout::median_key(positions, GetParam().current_index), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(Examples, MedianKeys,
                         ::testing::Values(MedianCase{{3, 0}, 9, 1.5}, MedianCase{{5, 1, 2}, 9, 2.0},
                                           MedianCase{{2}, 9, 2.0}, MedianCase{{}, 4, 4.0},
                                           MedianCase{{7, 1, 4, 0}, 0, 2.5},
                                           MedianCase{{4294967295u, 4294967295u}, 0, 4294967295.0}));

}  // namespace
