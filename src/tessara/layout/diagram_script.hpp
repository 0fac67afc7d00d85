#pragma once

#include <string_view>

namespace tessara::layout {

// The stylesheet and the script of the HTML view. The stylesheet contains no
// '<' or '&', and the script goes into a CDATA section (it contains no "]]>"),
// so the fragment stays well-formed XML.
extern const std::string_view kDiagramStyle;
extern const std::string_view kDiagramScript;

}  // namespace tessara::layout
