#include <string>

#include "tessara/formats/text.hpp"
#include "tessara/formats/writers.hpp"

namespace tessara::formats {
namespace {

// The reader takes every name as one line, trimmed, skipping blank lines; a
// name survives that only when it is a non-empty line with nothing to trim.
std::optional<std::string_view> unfit_name(std::string_view name) {
  if (name.empty()) return "a CXT name is a non-blank line";
  if (name.find('\n') != std::string_view::npos) return "a CXT name is one line, without line feeds";
  if (text::trim(name).size() != name.size()) return "CXT trims white space at both ends of a name";
  return std::nullopt;
}

// Appends one row: X where the object has the attribute, a dot elsewhere. A
// context without attributes still needs a non-blank line per object.
void append_row(std::string& out, const core::AttributeSet& row, std::uint64_t n_attributes) {
  if (n_attributes == 0) {
    out += ".\n";
    return;
  }
  const std::size_t start = out.size();
  out.append(n_attributes, '.');
  row.for_each_member([&](std::uint32_t m) { out[start + m] = 'X'; });
  out += '\n';
}

}  // namespace

std::expected<std::string, WriteError> write_cxt(const core::Context& context) {
  for (const bool objects : {true, false}) {
    const auto& names = objects ? context.objects() : context.attributes();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (const auto why = unfit_name(names[i]))
        return std::unexpected(
            WriteError{"cxt cannot carry " + name_and_place(context, objects, i) + ": " + std::string(*why)});
    }
  }
  std::string out = "B\n\n";
  out.append(std::to_string(context.n_objects())).append("\n");
  out.append(std::to_string(context.n_attributes())).append("\n\n");
  for (const std::string& name : context.objects()) out.append(name).append("\n");
  for (const std::string& name : context.attributes()) out.append(name).append("\n");
  for (const core::AttributeSet& row : context.rows()) append_row(out, row, context.n_attributes());
  return out;
}

}  // namespace tessara::formats
