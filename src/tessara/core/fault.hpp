#pragma once

#include <stdexcept>
#include <string>

namespace tessara::core {

// Thrown only when an internal invariant is broken (mismatched set capacities,
// an index outside its table). Ordinary input never reaches one of these; the
// Python layer turns it into an exception that `except Exception` does not catch.
class InternalFault : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

namespace fault_text {
inline constexpr const char* kObjectSetsDiffer = "ObjectSets from different contexts cannot be intersected";
inline constexpr const char* kAttributeSetCapacity = "AttributeSet capacity does not match this context";
inline constexpr const char* kObjectSetCapacity = "ObjectSet capacity does not match this context";
inline constexpr const char* kSetCapacitiesDiffer = "sets of different capacities cannot be compared";
inline constexpr const char* kIndexOutOfRange = "index out of range";
}  // namespace fault_text

}  // namespace tessara::core
