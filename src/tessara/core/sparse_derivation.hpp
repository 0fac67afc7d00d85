#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/sparse_incidence.hpp"

namespace tessara::core {

// The derivation operators on the sparse form: intersections of sorted index
// lists, in time linear in the lists touched, never objects x attributes.

// The objects having every listed attribute, ascending (every object for none).
std::vector<std::uint32_t> sparse_extent(const SparseIncidence& incidence, std::span<const std::uint32_t> attributes);
// The attributes shared by every listed object, ascending (every attribute for none).
std::vector<std::uint32_t> sparse_intent(const SparseIncidence& incidence, std::span<const std::uint32_t> objects);

}  // namespace tessara::core
