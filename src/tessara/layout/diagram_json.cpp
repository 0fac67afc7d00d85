#include "tessara/layout/diagram_json.hpp"

#include <string>
#include <string_view>

#include "tessara/layout/diagram_style.hpp"
#include "tessara/layout/diagram_writers.hpp"
#include "tessara/layout/number_text.hpp"
#include "tessara/layout/text_escape.hpp"
#include "tessara/layout/text_metrics.hpp"

namespace tessara::layout {
namespace {

class JsonWriter {
 public:
  JsonWriter(std::string& out, bool inside_html) : out_(out), inside_html_(inside_html) {}

  void key(std::string_view name) {
    append_json_string(out_, name);
    out_ += ':';
  }
  void text(std::string_view value) { append_json_string(out_, value, inside_html_); }
  void number(double value) { append_shortest(out_, value); }
  void integer(std::uint64_t value) { out_ += std::to_string(value); }
  void raw(std::string_view value) { out_ += value; }

  void names(const std::vector<std::string>& values) {
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ += ',';
      text(values[i]);
    }
    out_ += ']';
  }
  void indices(std::span<const std::uint32_t> values) {
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ += ',';
      integer(values[i]);
    }
    out_ += ']';
  }
  // A list of index lists, or null when there are none.
  void lists(const IndexLists& values) {
    if (values.start.empty()) {
      out_ += "null";
      return;
    }
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ += ',';
      indices(values[i]);
    }
    out_ += ']';
  }

 private:
  std::string& out_;
  bool inside_html_;
};

void append_highlight(JsonWriter& json, const Diagram& diagram) {
  if (diagram.highlight) {
    json.integer(*diagram.highlight);
  } else {
    json.raw("null");
  }
}

}  // namespace

void append_view_data(std::string& out, const Diagram& diagram) {
  JsonWriter json(out, true);
  out += '{';
  json.key("objects");
  json.names(diagram.object_names);
  out += ',';
  json.key("attributes");
  json.names(diagram.attribute_names);
  out += ',';
  json.key("support");
  out += '[';
  for (std::size_t v = 0; v < diagram.facts.support.size(); ++v) {
    if (v > 0) out += ',';
    json.integer(diagram.facts.support[v]);
  }
  out += "],";
  json.key("own_objects");
  json.lists(diagram.facts.own_objects);
  out += ',';
  json.key("own_attributes");
  json.lists(diagram.facts.own_attributes);
  out += ',';
  json.key("edges");
  out += '[';
  for (std::size_t e = 0; e < diagram.drawing.edges.size(); ++e) {
    if (e > 0) out += ',';
    out += '[';
    json.integer(diagram.drawing.edges[e].upper);
    out += ',';
    json.integer(diagram.drawing.edges[e].lower);
    out += ']';
  }
  out += "],";
  json.key("extents");
  json.lists(diagram.extents);
  out += ',';
  json.key("intents");
  json.lists(diagram.intents);
  out += ',';
  json.key("highlight");
  append_highlight(json, diagram);
  out += '}';
}

std::string diagram_json(const Diagram& diagram) {
  std::string out;
  JsonWriter json(out, false);
  out += "{\n  ";
  json.key("format");
  json.text("tessara-diagram");
  out += ",\n  ";
  json.key("version");
  json.integer(1);
  out += ",\n  ";
  json.key("layout");
  json.text(name_of(diagram.layout));
  out += ",\n  ";
  json.key("labels");
  json.text(name_of(diagram.label_mode));
  out += ",\n  ";
  json.key("width");
  json.number(diagram.width);
  out += ",\n  ";
  json.key("height");
  json.number(diagram.height);
  out += ",\n  ";
  json.key("font");
  out += '{';
  json.key("family");
  json.text(kFontFamily);
  out += ',';
  json.key("size");
  json.number(diagram.font_size);
  out += ',';
  json.key("line_height");
  json.number(diagram.line_height);
  out += "},\n  ";
  json.key("caption");
  json.text(diagram.caption);
  out += ",\n  ";
  json.key("crossings");
  json.integer(diagram.crossings);
  out += ",\n  ";
  json.key("highlight");
  append_highlight(json, diagram);
  out += ",\n  ";
  json.key("objects");
  json.names(diagram.object_names);
  out += ",\n  ";
  json.key("attributes");
  json.names(diagram.attribute_names);
  out += ",\n  ";
  json.key("nodes");
  out += "[";
  for (std::size_t v = 0; v < diagram.nodes.size(); ++v) {
    const DiagramNode& node = diagram.nodes[v];
    out += v > 0 ? ",\n    {" : "\n    {";
    json.key("id");
    json.integer(v);
    out += ',';
    json.key("x");
    json.number(node.centre.x);
    out += ',';
    json.key("y");
    json.number(node.centre.y);
    out += ',';
    json.key("radius");
    json.number(node.radius);
    out += ',';
    json.key("support");
    json.integer(diagram.facts.support[v]);
    out += ',';
    json.key("intent_size");
    json.integer(diagram.facts.intent_size[v]);
    out += ',';
    json.key("own_objects");
    json.indices(diagram.facts.own_objects[v]);
    out += ',';
    json.key("own_attributes");
    json.indices(diagram.facts.own_attributes[v]);
    out += ',';
    json.key("mark");
    json.text(style::mark_name(node.mark));
    out += '}';
  }
  out += "\n  ],\n  ";
  json.key("edges");
  out += "[";
  const Drawing& drawing = diagram.drawing;
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    out += e > 0 ? ",\n    {" : "\n    {";
    json.key("upper");
    json.integer(drawing.edges[e].upper);
    out += ',';
    json.key("lower");
    json.integer(drawing.edges[e].lower);
    out += ',';
    json.key("points");
    out += '[';
    const auto point = [&](const Point& p) {
      out += '[';
      json.number(p.x);
      out += ',';
      json.number(p.y);
      out += ']';
    };
    point(drawing.nodes[drawing.edges[e].upper]);
    for (const Point& bend : drawing.bends_of(e)) {
      out += ',';
      point(bend);
    }
    out += ',';
    point(drawing.nodes[drawing.edges[e].lower]);
    out += "],";
    json.key("mark");
    json.text(style::mark_name(diagram.edge_marks[e]));
    out += '}';
  }
  out += "\n  ],\n  ";
  json.key("labels_placed");
  out += "[";
  for (std::size_t i = 0; i < diagram.labels.size(); ++i) {
    const PlacedLabel& label = diagram.labels[i];
    out += i > 0 ? ",\n    {" : "\n    {";
    json.key("concept");
    json.integer(label.text.concept_index);
    out += ',';
    json.key("kind");
    json.text(style::kind_name(label.text.kind));
    out += ',';
    json.key("lines");
    json.names(label.text.lines);
    out += ',';
    json.key("shown");
    json.integer(label.text.names_shown);
    out += ',';
    json.key("hidden");
    json.integer(label.text.names_hidden);
    out += ',';
    json.key("box");
    out += '{';
    json.key("left");
    json.number(label.box.left);
    out += ',';
    json.key("top");
    json.number(label.box.top);
    out += ',';
    json.key("right");
    json.number(label.box.right);
    out += ',';
    json.key("bottom");
    json.number(label.box.bottom);
    out += "},";
    json.key("leader");
    json.raw(label.leader ? "true" : "false");
    out += '}';
  }
  out += "\n  ]\n}\n";
  return out;
}

}  // namespace tessara::layout
