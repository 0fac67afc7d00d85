#include "tessara/layout/svg.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tessara/layout/number_text.hpp"
#include "lattice_support.hpp"

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
  const std::string svg = tessara::layout::write_svg(
      LatticeLayout{}, SvgStyle{.margin = 12.25, .node_radius = 2.0, .stroke_width = 2.0});
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

INSTANTIATE_TEST_SUITE_P(
    Examples, NumberText,
    ::testing::Values(NumberCase{60.0, "60.0", "60"}, NumberCase{1.5, "1.5", "1.5"}, NumberCase{-40.0, "-40.0", "-40"},
                      NumberCase{0.25, "0.2", "0.25"},    // exact tie rounds to even
                      NumberCase{0.35, "0.3", "0.35"},    // stored value lies below the tie
                      NumberCase{0.05, "0.1", "0.05"},    // stored value lies above the tie
                      NumberCase{1e-7, "0.0", "0.0000001"},  // never an exponent
                      NumberCase{1e21, "1000000000000000000000.0", "1000000000000000000000"}),
    [](const auto& info) { return "case_" + std::to_string(info.index); });

}  // namespace
