#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The module functions of the implication calculus: implication_index,
// implication_closure, implications_entailed, minimum_cover, canonical_of_implications,
// closed_sets_of_implications, implications_hold. Implications cross as two
// bytes objects of packed premises and conclusions (word_count(n) uint64
// words per set).
std::span<PyMethodDef> implication_functions();

}  // namespace tessara::lab
