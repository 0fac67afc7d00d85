#include "tessara/core/subcontext.hpp"

#include <string>
#include <utility>
#include <vector>

#include "tessara/core/columns.hpp"
#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

std::vector<std::string> chosen_names(const std::vector<std::string>& names, std::span<const std::uint32_t> chosen) {
  std::vector<std::string> out;
  out.reserve(chosen.size());
  for (const std::uint32_t i : chosen) {
    if (i >= names.size()) throw InternalFault(fault_text::kIndexOutOfRange);
    out.push_back(names[i]);
  }
  return out;
}

Context built(std::vector<std::string> objects, std::vector<std::string> attributes, std::vector<AttributeSet> rows) {
  auto context = Context::from_rows(std::move(objects), std::move(attributes), std::move(rows));
  // Every row was made with one bit per attribute, so construction cannot refuse.
  if (!context) throw InternalFault(fault_text::kSetCapacitiesDiffer);
  return std::move(*context);
}

}  // namespace

Context subcontext(const Context& context, std::span<const std::uint32_t> objects,
                   std::span<const std::uint32_t> attributes) {
  std::vector<std::string> object_names = chosen_names(context.objects(), objects);
  std::vector<std::string> attribute_names = chosen_names(context.attributes(), attributes);
  std::vector<AttributeSet> rows;
  rows.reserve(objects.size());
  for (const std::uint32_t g : objects) {
    const AttributeSet& old_row = context.row(g);
    AttributeSet row = AttributeSet::empty(attributes.size());
    auto words = row.mutable_words();
    for (std::size_t l = 0; l < attributes.size(); ++l)
      if (old_row.contains(attributes[l])) words[l / 64] |= AttributeSet::Word{1} << (l % 64);
    rows.push_back(std::move(row));
  }
  return built(std::move(object_names), std::move(attribute_names), std::move(rows));
}

Context dual(const Context& context) {
  // The columns of the context are the rows of its dual.
  const AttributeColumns columns(context);
  std::vector<AttributeSet> rows;
  rows.reserve(context.n_attributes());
  for (std::uint64_t m = 0; m < context.n_attributes(); ++m) {
    AttributeSet row = AttributeSet::empty(context.n_objects());
    const auto column = columns.column(m);
    std::copy(column.begin(), column.end(), row.mutable_words().begin());
    rows.push_back(std::move(row));
  }
  return built(context.attributes(), context.objects(), std::move(rows));
}

}  // namespace tessara::core
