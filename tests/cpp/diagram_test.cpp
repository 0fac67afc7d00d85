#include "tessara/layout/diagram.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "diagram_support.hpp"
#include "tessara/layout/label_text.hpp"
#include "tessara/layout/text_metrics.hpp"

namespace {

using tessara::layout::Box;
using tessara::layout::Diagram;
using tessara::layout::DiagramOptions;
using tessara::layout::LabelKind;
using tessara::layout::LabelMode;
using tessara::layout::LayoutKind;
using tessara::testing::DrawnLattice;

// The names of a label: its lines joined and split at ", ", the isolate
// marks around right-to-left names taken off. (The test contexts have no
// ", " inside a name.)
std::vector<std::string> label_names(const tessara::layout::PlacedLabel& label) {
  std::string text;
  for (const std::string& line : label.text.lines) text += (text.empty() ? "" : " ") + line;
  for (const std::string mark : {"\u2068", "\u2069"})
    for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.erase(at, mark.size());
  if (label.text.names_hidden > 0) text.erase(text.rfind(label.text.names_shown > 0 ? ", +" : "+"));
  std::vector<std::string> names;
  for (std::size_t start = 0; !text.empty();) {
    const std::size_t comma = text.find(", ", start);
    names.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 2;
  }
  return names;
}

bool inside(const Box& box, const Diagram& d) {
  return box.left >= 0.0 && box.top >= 0.0 && box.right <= d.width && box.bottom <= d.height;
}

// What every diagram promises: labels as wide as the width model measures
// their lines, clear of each other and of every circle, everything inside
// the picture.
void expect_readable(const Diagram& d, const std::string& name) {
  std::vector<Box> circles;
  for (const auto& node : d.nodes) circles.push_back(tessara::layout::node_box(node.centre, node.radius));
  for (const Box& circle : circles) EXPECT_TRUE(inside(circle, d)) << name;
  for (const auto& bend : d.drawing.bends) EXPECT_TRUE(inside(Box{bend.x, bend.y, bend.x, bend.y}, d)) << name;
  EXPECT_TRUE(inside(d.caption_box, d)) << name;
  for (std::size_t i = 0; i < d.labels.size(); ++i) {
    const auto& label = d.labels[i];
    const Box& box = label.box;
    EXPECT_TRUE(inside(box, d)) << name << " label " << i;
    EXPECT_FALSE(box.overlaps(d.caption_box)) << name << " label " << i;
    double widest = 0.0;
    for (const std::string& line : label.text.lines)
      widest = std::max(widest, tessara::layout::text_width(line, d.font_size));
    EXPECT_GE(box.right - box.left + 1e-9, widest) << name << " label " << i;
    EXPECT_NEAR(box.bottom - box.top, static_cast<double>(label.text.lines.size()) * d.line_height, 1e-6);
    for (std::size_t v = 0; v < circles.size(); ++v)
      EXPECT_FALSE(box.overlaps(circles[v])) << name << " label " << i << " covers concept " << v;
    for (std::size_t j = i + 1; j < d.labels.size(); ++j)
      EXPECT_FALSE(box.overlaps(d.labels[j].box)) << name << " labels " << i << " and " << j;
  }
}

// Reduced labelling against the definitions: attribute m is written once,
// above the concept whose extent is m's column; object g once, below the
// concept whose intent is g's row.
void expect_reduced_labels(const DrawnLattice& drawn, const Diagram& d, const std::string& name) {
  const auto& context = drawn.context;
  const auto& concepts = drawn.lattice.concepts;
  std::map<std::string, int> attribute_seen;
  std::map<std::string, int> object_seen;
  for (const auto& label : d.labels) {
    const auto centre = d.nodes[label.text.concept_index].centre;
    const auto drawn_concept = concepts[label.text.concept_index];
    for (const std::string& item : label_names(label)) {
      if (label.text.kind == LabelKind::Attributes) {
        EXPECT_LE(label.box.bottom, centre.y) << name << ": " << item << " not above its concept";
        ++attribute_seen[item];
        const auto m = static_cast<std::uint32_t>(
            std::find(context.attributes().begin(), context.attributes().end(), item) - context.attributes().begin());
        ASSERT_LT(m, context.n_attributes()) << name << ": no attribute " << item;
        tessara::core::AttributeSet single = tessara::core::AttributeSet::empty(context.n_attributes());
        single.insert(m);
        EXPECT_EQ(drawn_concept.extent, context.extent_of(single)) << name << ": " << item;
      } else {
        EXPECT_GE(label.box.top, centre.y) << name << ": " << item << " not below its concept";
        ++object_seen[item];
        const auto g = static_cast<std::uint32_t>(
            std::find(context.objects().begin(), context.objects().end(), item) - context.objects().begin());
        ASSERT_LT(g, context.n_objects()) << name << ": no object " << item;
        EXPECT_EQ(drawn_concept.intent, context.row(g)) << name << ": " << item;
      }
    }
  }
  for (const auto& [item, count] : attribute_seen) EXPECT_EQ(count, 1) << name << ": attribute " << item;
  for (const auto& [item, count] : object_seen) EXPECT_EQ(count, 1) << name << ": object " << item;
  // Names are unique in the test contexts, so every one was written.
  EXPECT_EQ(attribute_seen.size(), context.n_attributes()) << name;
  EXPECT_EQ(object_seen.size(), context.n_objects()) << name;
}

std::vector<std::pair<std::string, DrawnLattice>> labelled_lattices() {
  std::vector<std::pair<std::string, DrawnLattice>> lattices;
  for (const char* file : {"examples/data/animals.cxt", "tests/data/tealady.cxt", "tests/data/liveinwater.csv",
                           "tests/data/seasoningplanner_de.cxt"})
    lattices.emplace_back(file, tessara::testing::drawn_lattice(tessara::testing::repository_context(file)));
  return lattices;
}

TEST(Diagram, ReducedLabelsNameEveryObjectAndAttributeOnceAndStayReadable) {
  for (const auto& [file, drawn] : labelled_lattices())
    for (const LayoutKind layout : {LayoutKind::Layered, LayoutKind::Additive}) {
      DiagramOptions options;
      options.labels = LabelMode::Reduced;
      options.layout = layout;
      const Diagram d = tessara::layout::make_diagram(drawn.source(), options);
      const std::string name = file + " " + std::string(tessara::layout::name_of(layout));
      expect_readable(d, name);
      expect_reduced_labels(drawn, d, name);
    }
}

TEST(Diagram, FullCountsAndSizedNodesStayReadable) {
  for (const auto& [file, drawn] : labelled_lattices())
    for (const LabelMode mode : {LabelMode::Full, LabelMode::Counts, LabelMode::Automatic}) {
      DiagramOptions options;
      options.labels = mode;
      options.size_by_support = true;
      options.highlight = 0;
      const Diagram d = tessara::layout::make_diagram(drawn.source(), options);
      expect_readable(d, file + " " + std::string(tessara::layout::name_of(d.label_mode)));
      if (mode == LabelMode::Full) {
        // The whole intent above and the whole extent below, shortened with "+N more".
        for (const auto& label : d.labels) {
          const auto i = label.text.concept_index;
          const std::uint64_t total = label.text.kind == LabelKind::Attributes ? d.facts.intent_size[i] : d.facts.support[i];
          EXPECT_EQ(label.text.names_shown + label.text.names_hidden, total);
          EXPECT_EQ(label_names(label).size(), label.text.names_shown);
        }
      }
    }
}

// Above the threshold, automatic labelling writes counts and the caption says why.
TEST(Diagram, LargeLatticesGetCountLabelsByDefault) {
  const auto drawn = tessara::testing::drawn_lattice(tessara::testing::repository_context("tests/data/seasoningplanner_de.cxt"));
  const Diagram d = tessara::layout::make_diagram(drawn.source(), DiagramOptions{});
  EXPECT_EQ(d.label_mode, LabelMode::Counts);
  EXPECT_TRUE(d.counts_for_size);
  EXPECT_NE(d.caption.find("532 concepts"), std::string::npos) << d.caption;
  EXPECT_NE(d.caption.find("over 300 concepts"), std::string::npos) << d.caption;
  ASSERT_EQ(d.labels.size(), d.nodes.size());
  for (const auto& label : d.labels) {
    const auto v = label.text.concept_index;
    std::string expected = std::to_string(d.facts.support[v]);
    if (!d.facts.own_objects[v].empty()) expected += " (" + std::to_string(d.facts.own_objects[v].size()) + ")";
    EXPECT_EQ(label.text.lines, std::vector<std::string>{expected});
  }
}

// An iceberg (no bottom, object concepts missing) draws with the same code;
// an object without its concept gets no label, and the caption counts them.
TEST(Diagram, IcebergsLabelOnlyTheConceptsDrawn) {
  const auto whole = tessara::testing::drawn_lattice(tessara::testing::repository_context("examples/data/animals.cxt"));
  const auto part = tessara::testing::iceberg_of(whole, 3);
  DiagramOptions options;
  options.labels = LabelMode::Reduced;
  const Diagram d = tessara::layout::make_diagram(part.source(), options);
  expect_readable(d, "iceberg");
  std::size_t objects_labelled = 0;
  for (const auto& label : d.labels)
    if (label.text.kind == LabelKind::Objects) objects_labelled += label_names(label).size();
  std::size_t with_concept = 0;
  for (std::uint64_t g = 0; g < whole.context.n_objects(); ++g)
    for (std::size_t i = 0; i < part.lattice.concepts.size(); ++i)
      if (part.lattice.concepts[i].intent == whole.context.row(g)) ++with_concept;
  EXPECT_EQ(objects_labelled, with_concept);
  EXPECT_EQ(d.facts.objects_without_concept, whole.context.n_objects() - with_concept);
  EXPECT_GT(d.facts.objects_without_concept, 0u);
  EXPECT_NE(d.caption.find("objects without a drawn concept"), std::string::npos);
  // The hover view needs every extent listed then.
  EXPECT_EQ(d.extents.size(), part.lattice.concepts.size());
}

// Sixty objects with one row: their concept's label keeps to its lines and
// counts the rest.
TEST(Diagram, LongListsAreShortenedWithACount) {
  const auto drawn = tessara::testing::drawn_lattice(
      tessara::testing::context_from_rows(60, 2, std::vector<std::vector<std::uint32_t>>(60, {0})));
  DiagramOptions options;
  options.labels = LabelMode::Reduced;
  const Diagram d = tessara::layout::make_diagram(drawn.source(), options);
  expect_readable(d, "sixty");
  bool found = false;
  for (const auto& label : d.labels)
    if (label.text.kind == LabelKind::Objects) {
      found = true;
      EXPECT_EQ(label.text.lines.size(), options.max_label_lines);
      EXPECT_EQ(label.text.names_shown + label.text.names_hidden, 60u);
      EXPECT_GT(label.text.names_hidden, 0u);
      EXPECT_TRUE(label.text.lines.back().ends_with(" +" + std::to_string(label.text.names_hidden) + " more"));
    }
  EXPECT_TRUE(found);
}

// A shortened label names at least one of its names: with one line allowed
// and a first name too wide to sit beside "+N more" within max_width, the line
// still starts with that name. With more lines, the last one may be the count
// alone, since earlier lines name some.
TEST(Diagram, AShortenedLabelOfOneLineKeepsItsFirstName) {
  const std::string wide = "Erbsen-/Bohnen-/Linsensuppe mit Speck und Kartoffeln";
  const std::string other = "Gemüseauflauf mit Käse überbacken";
  struct Case {
    std::vector<std::string_view> names;
    std::uint32_t max_lines;
    double max_width;
    std::string expected_last_line;
  };
  const std::vector<Case> cases = {
      {{wide, "Gans", "Ente", "Rotkraut"}, 1, 120.0, wide + ", +9 more"},
      {{wide, "Gans", "Ente", "Rotkraut"}, 1, 10000.0, wide + ", Gans, Ente, Rotkraut, +6 more"},
      {{wide, "Gans", "Ente", "Rotkraut"}, 2, 120.0, "Gans, +8 more"},
      {{wide, other, "Gans"}, 2, 120.0, "+9 more"},
  };
  for (const Case& c : cases) {
    const tessara::layout::TextStyle style{12.0, 15.0, c.max_width, c.max_lines};
    const auto label = tessara::layout::wrap_names(c.names, 10, style);
    ASSERT_FALSE(label.lines.empty());
    EXPECT_LE(label.lines.size(), c.max_lines);
    EXPECT_EQ(label.lines.back(), c.expected_last_line) << c.max_lines << " lines of " << c.max_width;
    EXPECT_GE(label.names_shown, 1u);
    EXPECT_EQ(label.names_shown + label.names_hidden, 10u);
  }
}

}  // namespace
