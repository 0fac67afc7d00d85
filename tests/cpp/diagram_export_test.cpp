#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "diagram_support.hpp"
#include "json_tree.hpp"
#include "tessara/formats/xml_tokenizer.hpp"
#include "tessara/formats/xml_unescape.hpp"
#include "tessara/layout/diagram.hpp"
#include "tessara/layout/diagram_writers.hpp"

namespace {

using tessara::layout::Diagram;
using tessara::layout::DiagramFormat;
using tessara::layout::DiagramOptions;
using tessara::layout::LabelMode;

// Names that each output format has to escape, and one right-to-left each.
const std::vector<std::string> kObjects{"<b>&amp;</b>", "say \"hi\" & 'bye'", "]]></script><script>x", "שלום עולם",
                                        "back\\slash"};
const std::vector<std::string> kAttributes{"100% _#$ {x}", "~^ \\textbf", "مرحبا", "a--b ``q''", "<|>"};

tessara::testing::DrawnLattice hostile_lattice() {
  return tessara::testing::drawn_lattice(tessara::core::Context::create(kObjects, kAttributes,
                                                                       {{true, false, false, true, false},
                                                                        {true, true, false, false, false},
                                                                        {false, true, true, false, true},
                                                                        {false, false, true, true, false},
                                                                        {true, false, true, false, true}})
                                             .value());
}

Diagram hostile_diagram(LabelMode labels) {
  static const auto drawn = hostile_lattice();
  DiagramOptions options;
  options.labels = labels;
  options.highlight = 1;
  return tessara::layout::make_diagram(drawn.source(), options);
}

// Reads XML with the project's tokenizer, keeping the text of every element
// named `text` (the SVG labels, one piece per line) and of script elements,
// with the isolate marks removed.
struct XmlText {
  bool well_formed = false;
  std::vector<std::string> texts;
  std::vector<std::string> scripts;
};

XmlText read_xml(const std::string& document) {
  namespace xml = tessara::formats::xml;
  XmlText result;
  xml::Tokenizer tokenizer(document);
  std::optional<std::string> text;
  std::optional<std::string> script;
  for (;;) {
    const auto token = tokenizer.next();
    if (!token) return result;
    if (token->kind == xml::TokenKind::EndOfInput) break;
    if (token->kind == xml::TokenKind::StartTag) {
      if (token->content == "text") text.emplace();
      if (token->content == "script") script.emplace();
    } else if (token->kind == xml::TokenKind::EndTag) {
      if (token->content == "text" && text) result.texts.push_back(*std::exchange(text, std::nullopt));
      if (token->content == "script" && script) result.scripts.push_back(*std::exchange(script, std::nullopt));
    } else if (token->kind == xml::TokenKind::Text && (text || script)) {
      const auto value = xml::unescape(token->content, token->position);
      if (!value) return result;
      std::string& into = text ? *text : *script;
      if (text && !into.empty()) into += ' ';
      into += *value;
    }
  }
  result.well_formed = true;
  for (std::string& piece : result.texts)
    for (const std::string mark : {"\u2068", "\u2069"})
      for (std::size_t at; (at = piece.find(mark)) != std::string::npos;) piece.erase(at, mark.size());
  return result;
}

bool contains(const std::vector<std::string>& texts, const std::string& name) {
  for (const std::string& text : texts)
    if (text.find(name) != std::string::npos) return true;
  return false;
}

TEST(DiagramExport, SvgAndHtmlAreXmlWithEveryNameIntact) {
  for (const LabelMode labels : {LabelMode::Reduced, LabelMode::Full}) {
    const Diagram d = hostile_diagram(labels);
    const XmlText svg = read_xml(tessara::layout::diagram_svg(d));
    ASSERT_TRUE(svg.well_formed);
    for (const auto& name : kObjects) EXPECT_TRUE(contains(svg.texts, name)) << name;
    for (const auto& name : kAttributes) EXPECT_TRUE(contains(svg.texts, name)) << name;

    const std::string html = tessara::layout::diagram_html(d);
    const XmlText view = read_xml(html);
    ASSERT_TRUE(view.well_formed);
    ASSERT_EQ(view.scripts.size(), 2u);
    const auto data = tessara::testing::parse_json(view.scripts[0]);
    ASSERT_TRUE(data);
    EXPECT_EQ((*data)["objects"].strings(), kObjects);
    EXPECT_EQ((*data)["attributes"].strings(), kAttributes);
    EXPECT_EQ((*data)["highlight"].text, "1");
    // Nothing in the fragment can end the script elements early or reach the network.
    EXPECT_EQ(html.find("<script><script>"), std::string::npos);
    EXPECT_EQ(html.find("http://www.w3.org/2000/svg"), html.find("http"));
  }
}

TEST(DiagramExport, JsonCarriesNamesLabelsAndGeometry) {
  const Diagram d = hostile_diagram(LabelMode::Reduced);
  const auto parsed = tessara::testing::parse_json(tessara::layout::diagram_json(d));
  ASSERT_TRUE(parsed);
  const auto& json = *parsed;
  EXPECT_EQ(json["format"].text, "tessara-diagram");
  EXPECT_EQ(json["objects"].strings(), kObjects);
  EXPECT_EQ(json["attributes"].strings(), kAttributes);
  ASSERT_EQ(json["nodes"].size(), d.nodes.size());
  ASSERT_EQ(json["edges"].size(), d.drawing.edges.size());
  ASSERT_EQ(json["labels_placed"].size(), d.labels.size());
  for (std::size_t i = 0; i < d.labels.size(); ++i)
    EXPECT_EQ(json["labels_placed"][i]["lines"].strings(), d.labels[i].text.lines);
  EXPECT_DOUBLE_EQ(json["width"].number(), d.width);
}

// Undoes the DOT writer's quoting of one quoted string starting at `at`.
std::string dot_string(const std::string& dot, std::size_t at) {
  std::string value;
  for (std::size_t i = at + 1; i < dot.size() && dot[i] != '"'; ++i) {
    if (dot[i] == '\\' && i + 1 < dot.size()) {
      ++i;
      value += dot[i] == 'n' ? '\n' : dot[i];
    } else {
      value += dot[i];
    }
  }
  return value;
}

TEST(DiagramExport, DotQuotesEveryName) {
  const std::string dot = tessara::layout::diagram_dot(hostile_diagram(LabelMode::Reduced));
  std::vector<std::string> labels;
  for (std::size_t at = dot.find("xlabel=\""); at != std::string::npos; at = dot.find("xlabel=\"", at + 1))
    labels.push_back(dot_string(dot, at + 7));
  for (std::string& text : labels)
    for (const std::string mark : {"\u2068", "\u2069"})
      for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.erase(at, mark.size());
  for (const auto& name : kObjects) EXPECT_TRUE(contains(labels, name)) << name;
  for (const auto& name : kAttributes) EXPECT_TRUE(contains(labels, name)) << name;
}

// Reads TeX text back the way TeX prints it: the commands and broken
// ligatures the writer uses turned back into the characters.
std::string tex_to_text(std::string tex) {
  const std::vector<std::pair<std::string, std::string>> commands{
      {"\\textbackslash{}", "\\"}, {"\\textasciitilde{}", "~"}, {"\\textasciicircum{}", "^"},
      {"\\textless{}", "<"},      {"\\textgreater{}", ">"},    {"\\textbar{}", "|"},
      {"\\textquotedbl{}", "\""}, {"\\textasciigrave{}", "`"}, {"\\textquotesingle{}", "'"},
      {"\\%", "%"},               {"\\_", "_"},                {"\\#", "#"},
      {"\\$", "$"},               {"\\&", "&"},                {"\\{", "{"},
      {"\\}", "}"},               {"-{}", "-"},                {",{}", ","}};
  std::string text;
  for (std::size_t i = 0; i < tex.size();) {
    bool matched = false;
    for (const auto& [command, character] : commands)
      if (tex.compare(i, command.size(), command) == 0) {
        text += character;
        i += command.size();
        matched = true;
        break;
      }
    if (!matched) {
      // A raw special character would be TeX markup, not text.
      EXPECT_EQ(std::string_view("\\{}$&#^_~%").find(tex[i]), std::string_view::npos) << "raw " << tex[i] << " in " << tex;
      text += tex[i++];
    }
  }
  return text;
}

TEST(DiagramExport, TikzEscapesTexSpecials) {
  const std::string tex = tessara::layout::diagram_tikz(hostile_diagram(LabelMode::Reduced));
  std::vector<std::string> labels;
  for (std::size_t at = tex.find("anchor=north] at "); at != std::string::npos;
       at = tex.find("anchor=north] at ", at + 1)) {
    const std::size_t open = tex.find(" {", at) + 2;
    const std::size_t close = tex.find("};\n", open);
    // Lines are separated by "\\ "; read each and join them with spaces.
    std::string joined;
    for (std::size_t start = open; start < close;) {
      const std::size_t end = std::min(tex.find("\\\\ ", start), close);
      if (!joined.empty()) joined += ' ';
      joined += tex_to_text(tex.substr(start, end - start));
      start = end + 3;
    }
    labels.push_back(joined);
  }
  for (const auto& name : kObjects) EXPECT_TRUE(contains(labels, name)) << name;
  for (const auto& name : kAttributes) EXPECT_TRUE(contains(labels, name)) << name;
  EXPECT_EQ(tex.find("\u2068"), std::string::npos);
}

TEST(DiagramExport, FormatsByExtension) {
  using tessara::layout::format_by_extension;
  EXPECT_EQ(format_by_extension(".svg"), DiagramFormat::Svg);
  EXPECT_EQ(format_by_extension("HTML"), DiagramFormat::Html);
  EXPECT_EQ(format_by_extension(".Tex"), DiagramFormat::Tikz);
  EXPECT_EQ(format_by_extension(".png"), std::nullopt);
  EXPECT_EQ(tessara::layout::unknown_format_message(".png"),
            "unknown diagram file extension '.png'; choose one of: .svg, .html, .dot, .tex, .json");
  EXPECT_EQ(tessara::layout::unknown_label_mode_message("short"),
            "unknown labels 'short'; choose one of: reduced, full, counts, none");
  EXPECT_EQ(tessara::layout::unknown_layout_message("force"), "unknown layout 'force'; choose one of: layered, additive");
}

}  // namespace
