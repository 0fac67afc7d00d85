#pragma once

#include <string>
#include <string_view>

#include "tessara/layout/diagram.hpp"

// The look shared by the drawings: colours of concepts, edges and labels,
// and what a highlight does to them.
namespace tessara::layout::style {

inline constexpr std::string_view kEdge = "#8c939d";
inline constexpr std::string_view kEdgeFaded = "#d5d9de";
inline constexpr std::string_view kNodeStroke = "#333333";
inline constexpr std::string_view kAttributeText = "#1d4f91";
inline constexpr std::string_view kObjectText = "#222222";
inline constexpr std::string_view kCountText = "#4a4f55";
inline constexpr std::string_view kCaptionText = "#555555";
inline constexpr std::string_view kLeader = "#aab0b8";
inline constexpr std::string_view kHalo = "#ffffff";  // the background, around text an edge runs under
inline constexpr double kHaloWidth = 3.5;
inline constexpr double kEdgeWidth = 1.2;
inline constexpr double kMarkedEdgeWidth = 2.2;
inline constexpr double kNodeStrokeWidth = 1.2;

// "#rrggbb" of a concept's fill: white, or shaded towards blue by the
// support, or the highlight's colour.
std::string node_fill(const DiagramNode& node);
// Stroke of a concept and of an edge under a mark.
std::string_view node_stroke(Mark mark);
std::string_view edge_stroke(Mark mark);
std::string_view label_fill(LabelKind kind);
// "plain", "focus", "above", "below", "faded".
std::string_view mark_name(Mark mark);
std::string_view kind_name(LabelKind kind);

// The baseline of line i of a label whose box starts at `top`.
double baseline(double top, std::size_t line, double font_size, double line_height);

}  // namespace tessara::layout::style
