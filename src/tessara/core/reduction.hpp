#pragma once

#include <cstdint>
#include <vector>

#include "tessara/core/context.hpp"

namespace tessara::core {

// Clarifying keeps one object of each class of objects with equal rows (and
// one attribute of each class of equal columns); the concept lattice stays the
// same up to isomorphism. The lists hold the first member of each class, in
// ascending order.
std::vector<std::uint32_t> clarified_objects(const Context& context);
std::vector<std::uint32_t> clarified_attributes(const Context& context);

// Reducing clarifies and then drops every reducible object (attribute): one
// whose row (column) is the intersection of the rows (columns) strictly
// containing it, the whole attribute (object) set when none does. What is
// left are the irreducible elements, whose object (attribute) concepts are
// the join- (meet-) irreducible concepts; the lattice again stays the same up
// to isomorphism. Ascending, the first of each class of equals.
std::vector<std::uint32_t> irreducible_objects(const Context& context);
std::vector<std::uint32_t> irreducible_attributes(const Context& context);

}  // namespace tessara::core
