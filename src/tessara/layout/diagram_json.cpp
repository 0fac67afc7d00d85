#include "tessara/layout/diagram_json.hpp"

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tessara/layout/diagram_style.hpp"
#include "tessara/layout/diagram_writers.hpp"
#include "tessara/layout/number_text.hpp"
#include "tessara/layout/text_escape.hpp"
#include "tessara/layout/text_metrics.hpp"

namespace tessara::layout {
namespace {

// Writes JSON values; objects and arrays put their commas themselves.
class JsonWriter {
 public:
  JsonWriter(std::string& out, bool inside_html) : out_(out), inside_html_(inside_html) {}

  void open(char bracket) {
    separate();
    out_ += bracket;
    first_.push_back(true);
  }
  void close(char bracket) {
    out_ += bracket;
    first_.pop_back();
  }
  // The key of the next member of the open object.
  void key(std::string_view name) {
    separate();
    append_json_string(out_, name);
    out_ += ':';
    after_key_ = true;
  }
  // A line break and indent before the next item, for the long lists.
  void newline(std::string_view indent) {
    separate();
    out_ += '\n';
    out_ += indent;
    held_ = true;
  }
  void text(std::string_view value) {
    separate();
    append_json_string(out_, value, inside_html_);
  }
  void number(double value) {
    separate();
    append_shortest(out_, value);
  }
  void integer(std::uint64_t value) {
    separate();
    out_ += std::to_string(value);
  }
  void literal(std::string_view value) {
    separate();
    out_ += value;
  }

  template <typename Value>
  void field(std::string_view name, const Value& value) {
    key(name);
    if constexpr (std::is_same_v<Value, double>) {
      number(value);
    } else if constexpr (std::is_integral_v<Value>) {
      integer(static_cast<std::uint64_t>(value));
    } else {
      text(value);
    }
  }

  void names(const std::vector<std::string>& values) {
    open('[');
    for (const std::string& value : values) text(value);
    close(']');
  }
  void indices(std::span<const std::uint32_t> values) {
    open('[');
    for (const std::uint32_t value : values) integer(value);
    close(']');
  }
  // A list of index lists, or null when there are none.
  void lists(const IndexLists& values) {
    if (values.start.empty()) {
      literal("null");
      return;
    }
    open('[');
    for (std::size_t i = 0; i < values.size(); ++i) indices(values[i]);
    close(']');
  }
  void point(const Point& p) {
    open('[');
    number(p.x);
    number(p.y);
    close(']');
  }
  void highlight(const Diagram& diagram) {
    if (diagram.highlight) {
      integer(*diagram.highlight);
    } else {
      literal("null");
    }
  }

 private:
  // A comma before every item of an array or object but the first.
  void separate() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (held_) {
      held_ = false;
      return;
    }
    if (first_.empty()) return;
    if (!first_.back()) {
      out_ += ',';
    } else {
      first_.back() = false;
    }
  }

  std::string& out_;
  bool inside_html_;
  std::vector<bool> first_;
  bool after_key_ = false;
  bool held_ = false;
};

}  // namespace

void append_view_data(std::string& out, const Diagram& diagram) {
  JsonWriter json(out, true);
  json.open('{');
  json.key("objects");
  json.names(diagram.object_names);
  json.key("attributes");
  json.names(diagram.attribute_names);
  json.key("support");
  json.open('[');
  for (const std::uint64_t support : diagram.facts.support) json.integer(support);
  json.close(']');
  json.key("own_objects");
  json.lists(diagram.facts.own_objects);
  json.key("own_attributes");
  json.lists(diagram.facts.own_attributes);
  json.key("edges");
  json.open('[');
  for (const core::CoverEdge& edge : diagram.drawing.edges) {
    json.open('[');
    json.integer(edge.upper);
    json.integer(edge.lower);
    json.close(']');
  }
  json.close(']');
  json.key("extents");
  json.lists(diagram.extents);
  json.key("intents");
  json.lists(diagram.intents);
  json.key("highlight");
  json.highlight(diagram);
  if (!diagram.lattice_indices.empty()) {
    json.key("ids");
    json.indices(diagram.lattice_indices);
  }
  json.close('}');
}

std::string diagram_json(const Diagram& diagram) {
  std::string out;
  JsonWriter json(out, false);
  json.open('{');
  json.newline("  ");
  json.field("format", std::string_view("tessara-diagram"));
  json.field("version", 1);
  json.field("layout", name_of(diagram.layout));
  json.field("labels", name_of(diagram.label_mode));
  json.field("width", diagram.width);
  json.field("height", diagram.height);
  json.key("font");
  json.open('{');
  json.field("family", kFontFamily);
  json.field("size", diagram.font_size);
  json.field("line_height", diagram.line_height);
  json.close('}');
  json.field("caption", std::string_view(diagram.caption));
  json.field("crossings", diagram.crossings);
  json.key("highlight");
  json.highlight(diagram);
  json.newline("  ");
  json.key("objects");
  json.names(diagram.object_names);
  json.newline("  ");
  json.key("attributes");
  json.names(diagram.attribute_names);
  json.newline("  ");
  json.key("nodes");
  json.open('[');
  for (std::size_t v = 0; v < diagram.nodes.size(); ++v) {
    const DiagramNode& node = diagram.nodes[v];
    json.newline("    ");
    json.open('{');
    json.field("id", v);
    json.field("lattice_index", diagram.lattice_index(v));
    json.field("x", node.centre.x);
    json.field("y", node.centre.y);
    json.field("radius", node.radius);
    json.field("support", diagram.facts.support[v]);
    json.field("intent_size", diagram.facts.intent_size[v]);
    json.key("own_objects");
    json.indices(diagram.facts.own_objects[v]);
    json.key("own_attributes");
    json.indices(diagram.facts.own_attributes[v]);
    json.field("mark", style::mark_name(node.mark));
    json.close('}');
  }
  json.close(']');
  json.newline("  ");
  json.key("edges");
  json.open('[');
  const Drawing& drawing = diagram.drawing;
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    json.newline("    ");
    json.open('{');
    json.field("upper", drawing.edges[e].upper);
    json.field("lower", drawing.edges[e].lower);
    json.key("points");
    json.open('[');
    json.point(drawing.nodes[drawing.edges[e].upper]);
    for (const Point& bend : drawing.bends_of(e)) json.point(bend);
    json.point(drawing.nodes[drawing.edges[e].lower]);
    json.close(']');
    json.field("mark", style::mark_name(diagram.edge_marks[e]));
    json.key("skips");
    json.literal(diagram.skips(e) ? "true" : "false");
    json.close('}');
  }
  json.close(']');
  json.newline("  ");
  json.key("labels_placed");
  json.open('[');
  for (const PlacedLabel& label : diagram.labels) {
    json.newline("    ");
    json.open('{');
    json.field("concept", label.text.concept_index);
    json.field("kind", style::kind_name(label.text.kind));
    json.key("lines");
    json.names(label.text.lines);
    json.field("shown", label.text.names_shown);
    json.field("hidden", label.text.names_hidden);
    json.key("box");
    json.open('{');
    json.field("left", label.box.left);
    json.field("top", label.box.top);
    json.field("right", label.box.right);
    json.field("bottom", label.box.bottom);
    json.close('}');
    json.key("leader");
    json.literal(label.leader ? "true" : "false");
    json.key("halo");
    json.literal(label.halo ? "true" : "false");
    json.close('}');
  }
  json.close(']');
  out += '\n';
  json.close('}');
  out += '\n';
  return out;
}

}  // namespace tessara::layout
