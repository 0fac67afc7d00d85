#pragma once

#include <functional>
#include <string>

#include "tessara/core/fault.hpp"

namespace tessara::testing {

// The message of the InternalFault the action throws, or "no fault".
inline std::string fault_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const core::InternalFault& fault) {
    return fault.what();
  }
  return "no fault";
}

}  // namespace tessara::testing
