#pragma once

#include <string>
#include <string_view>

// Writing names into each output format so that they come out as they are.
namespace tessara::layout {

// XML character data or attribute value: & < > " ' as entities; tab, line
// feed and carriage return as character references; characters XML cannot
// hold (other control characters, U+FFFE, U+FFFF) and malformed UTF-8 as
// U+FFFD, the character the width model measures them as.
void append_xml(std::string& out, std::string_view text);

// A JSON string with its quotes. With `inside_html` set, < > & are written as
// \u escapes too, so the text can sit in an HTML script element (and its XML
// reading) unchanged. U+2028 and U+2029 are escaped for JavaScript.
void append_json_string(std::string& out, std::string_view text, bool inside_html = false);

// A DOT quoted string for a label-like attribute (Graphviz's escString):
// quote and backslash escaped, a line feed as \n, other control characters as
// U+FFFD.
void append_dot_string(std::string& out, std::string_view text);

// TeX text: the special characters % _ # $ { } \ ~ ^ & and < > | " ` ' - ,
// as commands or broken ligatures so that each prints as itself; control
// characters as U+FFFD and the bidi isolate marks left out.
void append_tex(std::string& out, std::string_view text);

}  // namespace tessara::layout
