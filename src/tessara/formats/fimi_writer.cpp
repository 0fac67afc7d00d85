#include <charconv>
#include <string>

#include "tessara/formats/writers.hpp"

namespace tessara::formats {

std::expected<std::string, WriteError> write_fimi(const core::Context& context) {
  if (context.n_objects() == 0)
    return std::unexpected(WriteError{"dat cannot carry a context without objects: FIMI needs a transaction"});
  std::uint64_t last_used = 0;
  bool any_used = false;
  for (std::uint64_t g = 0; g < context.n_objects(); ++g) {
    const core::AttributeSet& row = context.row(g);
    if (row.is_empty())
      return std::unexpected(WriteError{"dat cannot carry " + name_and_place(context, true, g) +
                                        " without attributes: a FIMI transaction is a non-empty line"});
    row.for_each_member([&](std::uint32_t m) {
      if (!any_used || m > last_used) last_used = m;
      any_used = true;
    });
  }
  if (last_used + 1 != context.n_attributes())
    return std::unexpected(WriteError{"dat cannot carry " +
                                      name_and_place(context, false, context.n_attributes() - 1) +
                                      " without objects: FIMI has as many attributes as the largest item id used, "
                                      "plus one"});
  std::string out;
  char digits[16];
  for (const core::AttributeSet& row : context.rows()) {
    bool first = true;
    row.for_each_member([&](std::uint32_t m) {
      if (!first) out += ' ';
      first = false;
      out.append(digits, std::to_chars(digits, digits + sizeof digits, m).ptr);
    });
    out += '\n';
  }
  return out;
}

}  // namespace tessara::formats
