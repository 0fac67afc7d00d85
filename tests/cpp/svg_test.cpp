#include "tessara/layout/svg.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "lattice_support.hpp"
#include "reference/svg_reference.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/formats/read_context.hpp"
#include "tessara/layout/number_text.hpp"
#include "tessara/trace/trace.hpp"

namespace {

using tessara::core::AttributeSet;
using tessara::core::Concept;
using tessara::core::ConceptLattice;
using tessara::core::ObjectSet;
using tessara::layout::LatticeLayout;
using tessara::layout::SvgStyle;

using tessara::testing::lattice_from_extents;

const std::string kHead60 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 60.0 60.0\" width=\"60.0\" height=\"60.0\">\n"
    "  <g stroke=\"#444\" stroke-width=\"1.5\" fill=\"none\">\n";
const std::string kCircleGroup = "  <g fill=\"white\" stroke=\"#222\" stroke-width=\"1.5\">\n";

const std::string kOneConceptSvg = kHead60 + "  </g>\n" + kCircleGroup +
                                   "    <circle cx=\"30.0\" cy=\"30.0\" r=\"6.0\" />\n"
                                   "  </g>\n"
                                   "</svg>\n";

TEST(WriteSvg, LayoutWithoutNodesWritesTheBareFrame) {
  const std::string expected = kHead60 + "  </g>\n" + kCircleGroup + "  </g>\n</svg>\n";
  EXPECT_EQ(tessara::layout::write_svg(LatticeLayout{}, SvgStyle{}), expected);
}

TEST(RenderLatticeSvg, OneConcept) {
  ConceptLattice lattice = lattice_from_extents(1, {{0}});
  EXPECT_EQ(tessara::layout::render_lattice_svg(lattice), kOneConceptSvg);
}

TEST(RenderLatticeSvg, SixConceptsByteForByte) {
  ConceptLattice lattice = lattice_from_extents(4, {{0, 1, 2, 3}, {0, 1}, {2, 3}, {2}, {0}, {}});
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 140.0 300.0\" width=\"140.0\" height=\"300.0\">\n"
      "  <g stroke=\"#444\" stroke-width=\"1.5\" fill=\"none\">\n"
      "    <line x1=\"70.0\" y1=\"30.0\" x2=\"30.0\" y2=\"110.0\" />\n"
      "    <line x1=\"70.0\" y1=\"30.0\" x2=\"110.0\" y2=\"110.0\" />\n"
      "    <line x1=\"110.0\" y1=\"110.0\" x2=\"110.0\" y2=\"190.0\" />\n"
      "    <line x1=\"30.0\" y1=\"110.0\" x2=\"30.0\" y2=\"190.0\" />\n"
      "    <line x1=\"110.0\" y1=\"190.0\" x2=\"70.0\" y2=\"270.0\" />\n"
      "    <line x1=\"30.0\" y1=\"190.0\" x2=\"70.0\" y2=\"270.0\" />\n"
      "  </g>\n"
      "  <g fill=\"white\" stroke=\"#222\" stroke-width=\"1.5\">\n"
      "    <circle cx=\"70.0\" cy=\"30.0\" r=\"6.0\" />\n"
      "    <circle cx=\"30.0\" cy=\"110.0\" r=\"6.0\" />\n"
      "    <circle cx=\"110.0\" cy=\"110.0\" r=\"6.0\" />\n"
      "    <circle cx=\"110.0\" cy=\"190.0\" r=\"6.0\" />\n"
      "    <circle cx=\"30.0\" cy=\"190.0\" r=\"6.0\" />\n"
      "    <circle cx=\"70.0\" cy=\"270.0\" r=\"6.0\" />\n"
      "  </g>\n"
      "</svg>\n";
  EXPECT_EQ(tessara::layout::render_lattice_svg(lattice), expected);
  EXPECT_EQ(tessara::layout::render_lattice_svg(lattice), expected) << "second rendering differs";
}

TEST(RenderLatticeHtml, WrapsTheDocumentInTheCaptionedDiv) {
  ConceptLattice lattice = lattice_from_extents(1, {{0}});
  const std::string expected =
      "<div class=\"tessara-lattice\"><div style=\"color:#666;font-size:0.85em;margin-bottom:0.25em;\">"
      "Lattice \xE2\x80\x94 1 concepts</div>" +
      kOneConceptSvg + "</div>";
  EXPECT_EQ(tessara::layout::render_lattice_html(lattice), expected);
}

TEST(RenderLatticeHtml, CountsEveryConcept) {
  ConceptLattice lattice = lattice_from_extents(3, {{0, 1, 2}, {0, 1}, {0}});
  const std::string html = tessara::layout::render_lattice_html(lattice);
  EXPECT_NE(html.find("Lattice \xE2\x80\x94 3 concepts</div><?xml"), std::string::npos);
  EXPECT_TRUE(html.ends_with("</svg>\n</div>"));
}

// Edges are looked up by concept index, first matching node wins, and an edge
// whose end has no node is left out.
TEST(WriteSvg, EdgeEndsResolveToTheFirstMatchingNodeAndMissingEndsAreSkipped) {
  LatticeLayout layout;
  layout.nodes = {{0.0, 0.0, 7}, {10.0, 80.0, 3}, {-10.0, 80.0, 3}};
  layout.edges = {{7, 3}, {7, 99}, {99, 3}};
  layout.width = 20.0;
  layout.height = 80.0;
  const std::string svg = tessara::layout::write_svg(layout, SvgStyle{});
  EXPECT_NE(svg.find("    <line x1=\"40.0\" y1=\"30.0\" x2=\"50.0\" y2=\"110.0\" />\n"), std::string::npos) << svg;
  std::size_t lines = 0;
  for (std::size_t at = svg.find("<line"); at != std::string::npos; at = svg.find("<line", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u);
}

TEST(WriteSvg, StyleNumbersUseTheirOwnFormats) {
  const std::string svg =
      tessara::layout::write_svg(LatticeLayout{}, SvgStyle{.margin = 12.25, .node_radius = 2.0, .stroke_width = 2.0});
  EXPECT_NE(svg.find("viewBox=\"0 0 24.5 24.5\""), std::string::npos) << svg;
  EXPECT_NE(svg.find("stroke-width=\"2\" fill=\"none\""), std::string::npos) << svg;
}

struct NumberCase {
  double value;
  std::string fixed1;
  std::string shortest;
};

class NumberText : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberText, FormatsFixedAndShortest) {
  std::string fixed;
  tessara::layout::append_fixed1(fixed, GetParam().value);
  EXPECT_EQ(fixed, GetParam().fixed1);
  std::string shortest;
  tessara::layout::append_shortest(shortest, GetParam().value);
  EXPECT_EQ(shortest, GetParam().shortest);
}

INSTANTIATE_TEST_SUITE_P(Examples, NumberText,
                         ::testing::Values(NumberCase{60.0, "60.0", "60"}, NumberCase{1.5, "1.5", "1.5"},
                                           NumberCase{-40.0, "-40.0", "-40"},
                                           NumberCase{0.25, "0.2", "0.25"},       // exact tie rounds to even
                                           NumberCase{0.35, "0.3", "0.35"},       // stored value lies below the tie
                                           NumberCase{0.05, "0.1", "0.05"},       // stored value lies above the tie
                                           NumberCase{1e-7, "0.0", "0.0000001"},  // never an exponent
                                           NumberCase{1e21, "1000000000000000000000.0", "1000000000000000000000"},
                                           NumberCase{-0.0, "-0.0", "-0"}, NumberCase{0.0, "0.0", "0"},
                                           NumberCase{9007199254740993.0, "9007199254740992.0", "9007199254740992"},
                                           NumberCase{-4503599627370497.0, "-4503599627370497.0", "-4503599627370497"}),
                         [](const auto& info) { return "case_" + std::to_string(info.index); });

// Whole numbers take a shortcut in append_fixed1; every value must still read
// exactly as the general conversion writes it.
TEST(NumberText, FixedTextEqualsTheGeneralConversion) {
  std::mt19937_64 rng(3);
  std::vector<double> values{std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::denorm_min(),
                             9007199254740992.0,
                             -9007199254740992.0};
  std::uniform_int_distribution<std::int64_t> whole(-(std::int64_t{1} << 54), std::int64_t{1} << 54);
  std::uniform_int_distribution<int> halves(-400000, 400000);
  for (int k = 0; k < 20000; ++k) {
    values.push_back(static_cast<double>(whole(rng)));
    values.push_back(halves(rng) * 0.5);
    values.push_back(std::bit_cast<double>(rng()));
  }
  for (const double value : values) {
    std::string fast;
    std::string general;
    tessara::layout::append_fixed1(fast, value);
    tessara::reference::append_fixed1(general, value);
    ASSERT_EQ(fast, general) << std::bit_cast<std::uint64_t>(value);
  }
}

// ---- The whole drawing against the references ----

std::vector<std::vector<std::uint64_t>>& layout_events() {
  static std::vector<std::vector<std::uint64_t>> events;
  return events;
}

void record_layout_event(const tessara::trace::Event& event) {
  std::vector<std::uint64_t> fields;
  for (const auto& field : event.fields) fields.push_back(std::get<std::uint64_t>(field.value));
  layout_events().push_back(std::move(fields));
}

// Draws two copies of the lattice, one with the product code and one with the
// references, and expects the same layout, cover cache, trace event and text.
void expect_same_drawing(const ConceptLattice& lattice, const std::string& label) {
  ConceptLattice fast = lattice;
  ConceptLattice slow = lattice;
  layout_events().clear();
  tessara::trace::set_sink(&record_layout_event);
  const LatticeLayout a = tessara::layout::sugiyama_layout(fast, tessara::layout::LayoutConfig{});
  const LatticeLayout b = tessara::reference::sugiyama_layout(slow, tessara::layout::LayoutConfig{});
  tessara::trace::set_sink(nullptr);
  ASSERT_EQ(layout_events().size(), 2u) << label;
  EXPECT_EQ(layout_events()[0], layout_events()[1]) << label;
  ASSERT_EQ(fast.cover_cache, slow.cover_cache) << label;
  ASSERT_EQ(a.nodes.size(), b.nodes.size()) << label;
  for (std::size_t i = 0; i < a.nodes.size(); ++i) {
    ASSERT_EQ(a.nodes[i].concept_index, b.nodes[i].concept_index) << label;
    ASSERT_EQ(a.nodes[i].x, b.nodes[i].x) << label << ", concept " << i;
    ASSERT_EQ(a.nodes[i].y, b.nodes[i].y) << label << ", concept " << i;
  }
  ASSERT_EQ(a.edges, b.edges) << label;
  ASSERT_EQ(a.width, b.width) << label;
  ASSERT_EQ(a.height, b.height) << label;
  ASSERT_EQ(tessara::layout::write_svg(a, SvgStyle{}), tessara::reference::write_svg(b, SvgStyle{})) << label;
  // Other pass counts: the sweeps may stop early only where further passes change nothing.
  for (const std::uint64_t passes : {0u, 1u, 2u, 3u, 5u}) {
    const tessara::layout::LayoutConfig config{.node_spacing = 80.0, .layer_spacing = 80.0, .crossing_iters = passes};
    const LatticeLayout c = tessara::layout::sugiyama_layout(fast, config);
    const LatticeLayout d = tessara::reference::sugiyama_layout(slow, config);
    for (std::size_t i = 0; i < c.nodes.size(); ++i)
      ASSERT_EQ(c.nodes[i].x, d.nodes[i].x) << label << ", " << passes << " passes, concept " << i;
  }
  // The cache is filled now: the second drawing reuses it on both sides.
  ASSERT_EQ(tessara::layout::render_lattice_html(fast), tessara::reference::render_lattice_html(slow)) << label;
}

void expect_same_drawings(const tessara::core::Context& context, const std::string& label) {
  for (const std::string_view name : tessara::engine::SUPPORTED_ALGORITHMS)
    expect_same_drawing(tessara::engine::algorithm_by_name(name)->compute(context), label + ", " + std::string(name));
}

TEST(DrawingDifferential, RandomLatticesDrawByteForByteAsTheReference) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<std::uint32_t> small(0, 7);
  std::uniform_int_distribution<std::uint32_t> medium(0, 11);
  int round = 0;
  for (const std::uint32_t size : {0u, 1u, 2u, 63u, 64u, 65u, 127u, 128u, 129u}) {
    for (int repeat = 0; repeat < 12; ++repeat, ++round) {
      const std::uint32_t other = small(rng);
      expect_same_drawings(tessara::testing::random_context(rng, size, other), "round " + std::to_string(round));
      expect_same_drawings(tessara::testing::random_context(rng, other, size), "round " + std::to_string(round));
    }
  }
  for (int repeat = 0; repeat < 800; ++repeat, ++round)
    expect_same_drawings(tessara::testing::random_context(rng, medium(rng), medium(rng)),
                         "round " + std::to_string(round));
}

TEST(DrawingDifferential, TestDataLatticesDrawByteForByteAsTheReference) {
  const std::filesystem::path data = std::filesystem::path(__FILE__).parent_path().parent_path() / "data";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    if (entry.path().extension() == ".md") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto context = tessara::formats::read_context(bytes, entry.path().filename().string());
    ASSERT_TRUE(context.has_value()) << entry.path();
    expect_same_drawings(*context, entry.path().filename().string());
    ++files;
  }
  EXPECT_GE(files, 4);
}

}  // namespace
