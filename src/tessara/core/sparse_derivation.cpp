#include "tessara/core/sparse_derivation.hpp"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace tessara::core {
namespace {

// The members common to the lists of the chosen indices (all of 0 .. universe - 1
// when none is chosen), ascending.
template <typename ListOf>
std::vector<std::uint32_t> common_members(std::span<const std::uint32_t> chosen, std::uint32_t universe,
                                          ListOf list_of) {
  std::vector<std::uint32_t> common;
  if (chosen.empty()) {
    common.resize(universe);
    std::iota(common.begin(), common.end(), std::uint32_t{0});
    return common;
  }
  const auto first = list_of(chosen.front());
  common.assign(first.begin(), first.end());
  std::vector<std::uint32_t> kept;
  for (std::size_t k = 1; k < chosen.size() && !common.empty(); ++k) {
    const auto next = list_of(chosen[k]);
    kept.clear();
    std::set_intersection(common.begin(), common.end(), next.begin(), next.end(), std::back_inserter(kept));
    common.swap(kept);
  }
  return common;
}

}  // namespace

std::vector<std::uint32_t> sparse_extent(const SparseIncidence& incidence, std::span<const std::uint32_t> attributes) {
  return common_members(attributes, incidence.n_objects(), [&](std::uint32_t m) { return incidence.column(m); });
}

std::vector<std::uint32_t> sparse_intent(const SparseIncidence& incidence, std::span<const std::uint32_t> objects) {
  return common_members(objects, incidence.n_attributes(), [&](std::uint32_t g) { return incidence.row(g); });
}

}  // namespace tessara::core
