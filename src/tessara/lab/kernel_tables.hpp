#pragma once

#include <span>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// name_tuples: the extents or intents of every concept as tuples of names,
// built in one pass for tables (to_pandas, to_networkx).
std::span<PyMethodDef> table_functions();

}  // namespace tessara::lab
