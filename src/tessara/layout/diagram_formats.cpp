#include <array>
#include <utility>

#include "tessara/layout/diagram_writers.hpp"

namespace tessara::layout {
namespace {

constexpr std::array<std::pair<std::string_view, DiagramFormat>, 5> kExtensions{{
    {".svg", DiagramFormat::Svg},
    {".html", DiagramFormat::Html},
    {".dot", DiagramFormat::Dot},
    {".tex", DiagramFormat::Tikz},
    {".json", DiagramFormat::Json},
}};

}  // namespace

std::optional<DiagramFormat> format_by_extension(std::string_view extension) {
  std::string lower = extension.starts_with('.') ? "" : ".";
  for (const char c : extension) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  for (const auto& [name, format] : kExtensions)
    if (name == lower) return format;
  return std::nullopt;
}

std::string unknown_format_message(std::string_view extension) {
  std::string message = "unknown diagram file extension '";
  message += extension;
  message += "'; choose one of: ";
  for (std::size_t i = 0; i < kExtensions.size(); ++i) {
    if (i > 0) message += ", ";
    message += kExtensions[i].first;
  }
  return message;
}

std::string write_diagram(const Diagram& diagram, DiagramFormat format) {
  switch (format) {
    case DiagramFormat::Svg: return diagram_svg(diagram);
    case DiagramFormat::Html: return diagram_html(diagram);
    case DiagramFormat::Dot: return diagram_dot(diagram);
    case DiagramFormat::Tikz: return diagram_tikz(diagram);
    case DiagramFormat::Json: break;
  }
  return diagram_json(diagram);
}

}  // namespace tessara::layout
