#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The module functions of implications, association rules and concept
// measures: implications, frequent_lattice, association_rules, generators,
// all_generators, exact_stability, sampled_stability, stability_error_bound,
// delta_stability, name_tuples.
std::span<PyMethodDef> rules_functions();

}  // namespace tessara::lab
