#pragma once

#include <string>

namespace tessara::layout {

// Appends value in fixed notation with exactly one digit after the point,
// rounded to nearest on the exact stored value ("60.0", "-40.0").
void append_fixed1(std::string& out, double value);

// Appends the shortest fixed-notation text that reads back as the same value,
// without exponent and without a forced fractional digit ("1.5", "2").
void append_shortest(std::string& out, double value);

}  // namespace tessara::layout
