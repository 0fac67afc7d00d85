#pragma once

#include <functional>

namespace tessara::layout {

// Asked between the steps of a long layout (one layer of a sweep); once it
// says false, the layout skips the rest of its work, and what it returns is
// incomplete, fit only to be thrown away. Empty: the layout runs to the end.
using KeepGoing = std::function<bool()>;

inline bool keep_going(const KeepGoing& ask) { return !ask || ask(); }

}  // namespace tessara::layout
