#include <string>

#include "tessara/layout/diagram_json.hpp"
#include "tessara/layout/diagram_script.hpp"
#include "tessara/layout/diagram_writers.hpp"

namespace tessara::layout {

std::string diagram_html(const Diagram& diagram) {
  std::string out;
  out += "<div class=\"tessara-view\">\n<style>";
  out += kDiagramStyle;
  out += "</style>\n";
  append_svg_element(out, diagram, false);
  out += "<div class=\"tessara-hint\">hover: extent and intent \u00b7 click: upper and lower sets \u00b7 wheel: zoom "
         "\u00b7 drag: pan \u00b7 double-click: reset</div>\n";
  out += "<div class=\"tessara-tip\"></div>\n<script type=\"application/json\" class=\"tessara-data\">";
  append_view_data(out, diagram);
  out += "</script>\n<script>//<![CDATA[";
  out += kDiagramScript;
  out += "//]]></script>\n</div>\n";
  return out;
}

}  // namespace tessara::layout
