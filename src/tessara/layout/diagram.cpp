#include "tessara/layout/diagram.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "tessara/core/fault.hpp"
#include "tessara/core/induced_order.hpp"
#include "tessara/layout/additive_layout.hpp"
#include "tessara/layout/hasse_graph.hpp"
#include "tessara/layout/layered_layout.hpp"
#include "tessara/layout/text_metrics.hpp"

namespace tessara::layout {
namespace {

constexpr std::array<std::pair<std::string_view, LabelMode>, 4> kLabelModes{{
    {"reduced", LabelMode::Reduced},
    {"full", LabelMode::Full},
    {"counts", LabelMode::Counts},
    {"none", LabelMode::None},
}};
constexpr std::array<std::pair<std::string_view, LayoutKind>, 2> kLayouts{{
    {"layered", LayoutKind::Layered},
    {"additive", LayoutKind::Additive},
}};

template <typename Table>
std::string choices_message(std::string_view what, const Table& table, std::string_view name) {
  std::string message = "unknown ";
  message += what;
  message += " '";
  message += name;
  message += "'; choose one of: ";
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (i > 0) message += ", ";
    message += table[i].first;
  }
  return message;
}

std::string decimal(std::uint64_t value) {
  std::array<char, 24> digits;
  return std::string(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr);
}

// The gap between a circle and its labels, and the padding of a label's box
// against its neighbours' (the layered layout keeps boxes this far apart).
constexpr double kLabelGap = 3.0;
constexpr double kBoxPadding = 2.0;
// Labels side by side keep an em apart and this much more, for the browsers'
// rounding of text widths.
constexpr double kSideSlack = 0.5;
// Full labels list at most this many names before counting the rest.
constexpr std::size_t kFullNamesCollected = 400;
constexpr double kCaptionGap = 10.0;
// Diagrams with up to this many labels get room where labels are crossed by edges (see lay_out).
constexpr std::size_t kRespaceLabels = 1000;

// By concept, how many more of its edges leave it to the right than to the
// left, upward and downward.
struct EdgeLeanings {
  std::vector<int> up;
  std::vector<int> down;
};

EdgeLeanings edge_leanings(const Drawing& drawing) {
  EdgeLeanings leanings{std::vector<int>(drawing.nodes.size(), 0), std::vector<int>(drawing.nodes.size(), 0)};
  const auto sign = [](double dx) { return dx > 0.0 ? 1 : dx < 0.0 ? -1 : 0; };
  for (std::size_t e = 0; e < drawing.edges.size(); ++e) {
    const core::CoverEdge edge = drawing.edges[e];
    const std::span<const Point> bends = drawing.bends_of(e);
    const Point upper = drawing.nodes[edge.upper];
    const Point lower = drawing.nodes[edge.lower];
    leanings.down[edge.upper] += sign((bends.empty() ? lower : bends.front()).x - upper.x);
    leanings.up[edge.lower] += sign((bends.empty() ? upper : bends.back()).x - lower.x);
  }
  return leanings;
}

// What a focus view adds to its drawing.
struct FocusFacts {
  std::span<const std::uint32_t> lattice_indices;
  std::vector<char> edge_skips;
  std::size_t lattice_size;
};

class DiagramBuilder {
 public:
  DiagramBuilder(const DiagramSource& source, const DiagramOptions& options, FocusFacts* focus = nullptr)
      : source_(source), options_(options), n_(source.concepts.size()), focus_(focus) {}

  Diagram build() {
    if (options_.highlight && *options_.highlight >= n_) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    diagram_.object_names = source_.context.objects();
    diagram_.attribute_names = source_.context.attributes();
    diagram_.layout = options_.layout;
    diagram_.highlight = options_.highlight;
    diagram_.font_size = options_.font_size;
    diagram_.line_height = text_style().line_height;
    diagram_.facts = focus_ != nullptr ? relative_concept_facts(source_) : concept_facts(source_);
    if (focus_ != nullptr) {
      diagram_.lattice_indices.assign(focus_->lattice_indices.begin(), focus_->lattice_indices.end());
      diagram_.edge_skips = std::move(focus_->edge_skips);
      diagram_.lattice_size = focus_->lattice_size;
    }
    // A stopped build returns what it has, for the caller to throw away.
    if (!keep_going(options_.keep_going)) return std::move(diagram_);
    choose_labels();
    size_nodes();
    std::vector<LabelText> texts = label_texts();
    if (!keep_going(options_.keep_going)) return std::move(diagram_);
    lay_out(texts);
    if (!keep_going(options_.keep_going)) return std::move(diagram_);
    const std::vector<Segment> segments = texts.empty() ? std::vector<Segment>() : edge_segments(diagram_.drawing);
    diagram_.labels = place_labels(diagram_.drawing.nodes, radii(), std::move(texts), placement_style(), segments,
                                   options_.keep_going);
    if (!keep_going(options_.keep_going)) return std::move(diagram_);
    mark_highlight();
    list_sets();
    frame();
    return std::move(diagram_);
  }

 private:
  void choose_labels() {
    diagram_.label_mode = options_.labels;
    if (options_.labels == LabelMode::Automatic) {
      diagram_.counts_for_size = n_ > options_.automatic_counts_above;
      diagram_.label_mode = diagram_.counts_for_size ? LabelMode::Counts : LabelMode::Reduced;
    }
  }

  std::vector<double> radii() const {
    std::vector<double> radii(n_);
    for (std::size_t v = 0; v < n_; ++v) radii[v] = diagram_.nodes[v].radius;
    return radii;
  }

  PlacementStyle placement_style() const {
    return PlacementStyle{kLabelGap, 6.0, kBoxPadding, options_.font_size + kSideSlack};
  }

  void size_nodes() {
    diagram_.nodes.resize(n_);
    const double objects = std::max<double>(static_cast<double>(source_.context.n_objects()), 1.0);
    for (std::size_t v = 0; v < n_; ++v) {
      const double share = std::sqrt(static_cast<double>(diagram_.facts.support[v]) / objects);
      DiagramNode& node = diagram_.nodes[v];
      node.radius = options_.size_by_support ? options_.node_radius * (0.5 + 1.5 * share) : options_.node_radius;
      node.shade = options_.shade_by_support ? share : 0.0;
      node.mark = Mark::Plain;
    }
  }

  TextStyle text_style() const {
    return TextStyle{options_.font_size, std::round(options_.font_size * 1.2 * 4.0) / 4.0, options_.max_label_width,
                     options_.max_label_lines};
  }

  LabelText names_label(std::span<const std::string_view> names, std::size_t total, std::uint32_t v, LabelKind kind) {
    TextStyle style = text_style();
    // A focus view's lowest concepts own many objects each: one line of names and a count keeps them readable.
    if (focus_ != nullptr && kind == LabelKind::Objects) style.max_lines = 1;
    LabelText label = wrap_names(names, total, style);
    label.concept_index = v;
    label.kind = kind;
    return label;
  }

  std::vector<LabelText> label_texts() {
    std::vector<LabelText> texts;
    const auto& objects = source_.context.objects();
    const auto& attributes = source_.context.attributes();
    std::vector<std::string_view> names;
    const auto add = [&](std::size_t total, std::uint32_t v, LabelKind kind) {
      if (total > 0) texts.push_back(names_label(names, total, v, kind));
    };
    for (std::uint32_t v = 0; v < n_; ++v) {
      switch (diagram_.label_mode) {
        case LabelMode::Reduced:
          names.clear();
          for (const std::uint32_t m : diagram_.facts.own_attributes[v]) names.push_back(attributes[m]);
          add(names.size(), v, LabelKind::Attributes);
          names.clear();
          for (const std::uint32_t g : diagram_.facts.own_objects[v]) names.push_back(objects[g]);
          add(names.size(), v, LabelKind::Objects);
          break;
        case LabelMode::Full: {
          names.clear();
          source_.concepts.for_each_intent_member(v,
                             [&](std::uint32_t m) { names.push_back(attributes[m]); });
          add(names.size(), v, LabelKind::Attributes);
          names.clear();
          source_.concepts.for_each_extent_member(v, [&](std::uint32_t g) {
            if (names.size() < kFullNamesCollected) names.push_back(objects[g]);
          });
          add(diagram_.facts.support[v], v, LabelKind::Objects);
          break;
        }
        case LabelMode::Counts: {
          std::string text = decimal(diagram_.facts.support[v]);
          const std::size_t own = diagram_.facts.own_objects[v].size();
          if (own > 0) text += " (" + decimal(own) + ")";
          LabelText label = single_line(std::move(text), text_style());
          label.concept_index = v;
          label.kind = LabelKind::Counts;
          texts.push_back(std::move(label));
          break;
        }
        case LabelMode::None:
        case LabelMode::Automatic:
          break;
      }
    }
    return texts;
  }

  void lay_out(const std::vector<LabelText>& texts) {
    std::vector<NodeExtent> extents(n_);
    for (std::size_t v = 0; v < n_; ++v) {
      const double r = diagram_.nodes[v].radius;
      extents[v] = NodeExtent{r + kBoxPadding, r + kBoxPadding, r + kBoxPadding};
    }
    for (const LabelText& label : texts) {
      NodeExtent& extent = extents[label.concept_index];
      const double r = diagram_.nodes[label.concept_index].radius;
      extent.half_width = std::max(extent.half_width, label.width / 2.0 + kBoxPadding);
      double& side = label.kind == LabelKind::Attributes ? extent.above : extent.below;
      side = std::max(side, r + kLabelGap + label.height + kBoxPadding);
    }
    LayeredLayoutOptions layered_options;
    layered_options.min_layer_distance = std::max(64.0, 10.0 * options_.node_radius);
    layered_options.crossing.keep_going = options_.keep_going;
    layered_options.coordinates.keep_going = options_.keep_going;
    // Where a label finds no spot close to its concept that the edges leave
    // clear, its concept gets room to hold the label beside its edges, on
    // the side fewer of them leave towards, and the concepts are placed
    // again. (Diagrams with thousands of labels keep their extents: placing
    // the labels again would cost more than the layout.)
    if (!texts.empty() && texts.size() <= kRespaceLabels)
      layered_options.respace = [&](const Drawing& drawing, std::span<SideRoom> room) {
        if (!keep_going(options_.keep_going)) return false;
        const std::vector<PlacedLabel> placed =
            place_labels(drawing.nodes, radii(), texts, placement_style(), edge_segments(drawing));
        if (std::none_of(placed.begin(), placed.end(), [](const PlacedLabel& label) { return label.halo; }))
          return false;
        const EdgeLeanings leanings = edge_leanings(drawing);
        bool widened = false;
        for (const PlacedLabel& label : placed) {
          if (!label.halo) continue;
          const std::uint32_t v = label.text.concept_index;
          const int lean = label.text.kind == LabelKind::Attributes ? leanings.up[v] : leanings.down[v];
          const double needed = diagram_.nodes[v].radius + kLabelGap + label.text.width + kBoxPadding;
          double& side = lean > 0 ? room[v].left : room[v].right;
          const double extra = needed - extents[v].half_width;
          if (side < extra) {
            side = extra;
            widened = true;
          }
        }
        return widened;
      };
    LayeredLayout layered = layered_layout(n_, source_.edges, extents, layered_options);
    diagram_.crossings = layered.crossings;
    if (!keep_going(options_.keep_going)) return;
    if (options_.layout == LayoutKind::Additive) {
      std::vector<double> half_widths(n_);
      for (std::size_t v = 0; v < n_; ++v) half_widths[v] = extents[v].half_width;
      diagram_.drawing = additive_layout(source_, diagram_.facts, layered.drawing, half_widths);
    } else {
      diagram_.drawing = std::move(layered.drawing);
    }
  }

  // Marks the highlighted concept, everything above it and everything below.
  void mark_highlight() {
    diagram_.edge_marks.assign(source_.edges.size(), Mark::Plain);
    if (!options_.highlight) return;
    const HasseGraph graph(n_, source_.edges);
    for (DiagramNode& node : diagram_.nodes) node.mark = Mark::Faded;
    const std::uint32_t focus = *options_.highlight;
    const auto spread = [&](Mark mark, auto next) {
      std::vector<std::uint32_t> stack{focus};
      while (!stack.empty()) {
        const std::uint32_t v = stack.back();
        stack.pop_back();
        for (const std::uint32_t w : next(v))
          if (diagram_.nodes[w].mark == Mark::Faded) {
            diagram_.nodes[w].mark = mark;
            stack.push_back(w);
          }
      }
    };
    spread(Mark::Above, [&](std::uint32_t v) { return graph.uppers(v); });
    spread(Mark::Below, [&](std::uint32_t v) { return graph.lowers(v); });
    diagram_.nodes[focus].mark = Mark::Focus;
    for (std::size_t e = 0; e < source_.edges.size(); ++e) {
      const Mark upper = diagram_.nodes[source_.edges[e].upper].mark;
      const Mark lower = diagram_.nodes[source_.edges[e].lower].mark;
      Mark mark = Mark::Faded;
      if ((upper == Mark::Above || upper == Mark::Focus) && (lower == Mark::Above || lower == Mark::Focus))
        mark = Mark::Above;
      if ((upper == Mark::Below || upper == Mark::Focus) && (lower == Mark::Below || lower == Mark::Focus))
        mark = Mark::Below;
      diagram_.edge_marks[e] = mark;
    }
  }

  void list_sets() {
    const core::ConceptList& concepts = source_.concepts;
    if (diagram_.facts.objects_without_concept > 0) {
      diagram_.extents.start.assign(1, 0);
      for (std::size_t v = 0; v < n_; ++v) {
        concepts.for_each_extent_member(v, [&](std::uint32_t g) { diagram_.extents.items.push_back(g); });
        diagram_.extents.start.push_back(diagram_.extents.items.size());
      }
    }
    if (diagram_.facts.intents_incomplete) {
      diagram_.intents.start.assign(1, 0);
      for (std::size_t v = 0; v < n_; ++v) {
        concepts.for_each_intent_member(v, [&](std::uint32_t m) { diagram_.intents.items.push_back(m); });
        diagram_.intents.start.push_back(diagram_.intents.items.size());
      }
    }
  }

  std::string caption_text() const {
    std::string text = decimal(n_);
    if (focus_ != nullptr) text += " of " + decimal(focus_->lattice_size);
    text += n_ == 1 && focus_ == nullptr ? " concept" : " concepts";
    switch (diagram_.label_mode) {
      case LabelMode::Reduced:
        text += " \u00b7 attributes above, objects below their concepts";
        if (diagram_.facts.objects_without_concept > 0)
          text += " \u00b7 " + decimal(diagram_.facts.objects_without_concept) + " objects without a drawn concept";
        break;
      case LabelMode::Full:
        text += " \u00b7 intents above, extents below";
        break;
      case LabelMode::Counts:
        text += " \u00b7 labels: support (own objects)";
        if (diagram_.counts_for_size)
          text += ", as there are over " + decimal(options_.automatic_counts_above) + " concepts";
        break;
      case LabelMode::None:
      case LabelMode::Automatic:
        break;
    }
    if (focus_ != nullptr && std::find(diagram_.edge_skips.begin(), diagram_.edge_skips.end(), 1) !=
                                 diagram_.edge_skips.end())
      text += " \u00b7 dashed edges skip concepts not drawn";
    if (options_.highlight)
      text += " \u00b7 highlighted: concept " + decimal(diagram_.lattice_index(*options_.highlight));
    return text;
  }

  // Moves everything into the picture: the caption on top, then the drawing,
  // with the margin all round.
  void frame() {
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    const auto take = [&](const Box& box) {
      left = std::min(left, box.left);
      top = std::min(top, box.top);
      right = std::max(right, box.right);
      bottom = std::max(bottom, box.bottom);
    };
    for (std::size_t v = 0; v < n_; ++v) take(node_box(diagram_.drawing.nodes[v], diagram_.nodes[v].radius));
    for (const Point& p : diagram_.drawing.bends) take(Box{p.x, p.y, p.x, p.y});
    for (const PlacedLabel& label : diagram_.labels) take(label.box);
    if (n_ == 0) left = top = right = bottom = 0.0;

    diagram_.caption = caption_text();
    const double caption_size = options_.font_size;
    const double caption_width = text_width(diagram_.caption, caption_size);
    const double caption_height = std::round(caption_size * 1.25);
    const double m = options_.margin;
    const double dx = m - left;
    const double dy = m + caption_height + kCaptionGap - top;
    for (std::size_t v = 0; v < n_; ++v) {
      Point& p = diagram_.drawing.nodes[v];
      p = Point{p.x + dx, p.y + dy};
      diagram_.nodes[v].centre = p;
    }
    for (Point& p : diagram_.drawing.bends) p = Point{p.x + dx, p.y + dy};
    for (PlacedLabel& label : diagram_.labels) {
      Box& b = label.box;
      b = Box{b.left + dx, b.top + dy, b.right + dx, b.bottom + dy};
    }
    diagram_.caption_box = Box{m, m, m + caption_width, m + caption_height};
    diagram_.width = std::ceil(std::max(right - left, caption_width) + 2.0 * m);
    diagram_.height = std::ceil(bottom - top + caption_height + kCaptionGap + 2.0 * m);
  }

  const DiagramSource& source_;
  const DiagramOptions& options_;
  const std::size_t n_;
  FocusFacts* focus_;
  Diagram diagram_;
};

}  // namespace

std::optional<LabelMode> label_mode_by_name(std::string_view name) {
  for (const auto& [text, mode] : kLabelModes)
    if (text == name) return mode;
  return std::nullopt;
}

std::optional<LayoutKind> layout_by_name(std::string_view name) {
  for (const auto& [text, layout] : kLayouts)
    if (text == name) return layout;
  return std::nullopt;
}

std::string_view name_of(LabelMode mode) {
  for (const auto& [text, known] : kLabelModes)
    if (known == mode) return text;
  return "automatic";
}

std::string_view name_of(LayoutKind layout) {
  for (const auto& [text, known] : kLayouts)
    if (known == layout) return text;
  return "";
}

std::string unknown_label_mode_message(std::string_view name) { return choices_message("labels", kLabelModes, name); }

std::string unknown_layout_message(std::string_view name) { return choices_message("layout", kLayouts, name); }

Diagram make_diagram(const DiagramSource& source, const DiagramOptions& options) {
  return DiagramBuilder(source, options).build();
}

Diagram make_focus_diagram(const core::Context& context, const core::ConceptList& concepts,
                           std::span<const core::CoverEdge> edges, std::span<const std::uint32_t> chosen,
                           const DiagramOptions& options) {
  const std::vector<core::InducedCover> covers = core::induced_covers(concepts, edges, chosen);
  core::ConceptList drawn(context.n_objects(), context.n_attributes());
  for (const std::uint32_t c : chosen) drawn.append_from(concepts, c);
  std::vector<core::CoverEdge> drawn_edges;
  FocusFacts focus{chosen, {}, concepts.size()};
  drawn_edges.reserve(covers.size());
  focus.edge_skips.reserve(covers.size());
  for (const core::InducedCover& cover : covers) {
    drawn_edges.push_back(core::CoverEdge{cover.lower, cover.upper});
    focus.edge_skips.push_back(cover.skips ? 1 : 0);
  }
  return DiagramBuilder(DiagramSource{context, drawn, drawn_edges}, options, &focus).build();
}

}  // namespace tessara::layout
