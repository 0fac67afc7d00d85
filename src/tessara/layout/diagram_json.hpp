#pragma once

#include <string>

#include "tessara/layout/diagram.hpp"

namespace tessara::layout {

// What the HTML view's script reads, as JSON safe inside an HTML script
// element: the names, each concept's support, own objects and own
// attributes, the edges as [upper, lower], the extents and intents when
// they cannot be read off the own objects and attributes, and the highlight.
void append_view_data(std::string& out, const Diagram& diagram);

}  // namespace tessara::layout
