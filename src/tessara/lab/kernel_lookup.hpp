#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// join, meet, object_concept, attribute_concept and find_intent: concepts of
// a lattice found by their intent.
std::span<PyMethodDef> lookup_functions();

}  // namespace tessara::lab
