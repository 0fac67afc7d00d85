#include "tessara/core/packed_to_sparse.hpp"

#include <cstdint>
#include <vector>

namespace tessara::core {

SparseIncidence sparse_incidence_of(const Context& context) {
  std::vector<std::uint64_t> offsets;
  offsets.reserve(context.n_objects() + 1);
  offsets.push_back(0);
  std::vector<std::uint32_t> attributes;
  for (const AttributeSet& row : context.rows()) {
    row.for_each_member([&](std::uint64_t m) { attributes.push_back(static_cast<std::uint32_t>(m)); });
    offsets.push_back(attributes.size());
  }
  return SparseIncidence::from_rows(static_cast<std::uint32_t>(context.n_objects()),
                                    static_cast<std::uint32_t>(context.n_attributes()), std::move(offsets),
                                    std::move(attributes));
}

}  // namespace tessara::core
