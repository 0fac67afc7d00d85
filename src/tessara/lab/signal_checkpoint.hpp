#pragma once

#include <cstddef>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// For loops that build Python objects while holding the interpreter lock:
// runs Python's signal handlers once enough work has been done since the last
// time (about a millisecond's worth), so Ctrl-C stops a conversion of
// millions of items at once. pass() returns false with the handler's
// exception (KeyboardInterrupt) set.
class SignalCheckpoint {
 public:
  // Items (names, numbers) the loop has just made.
  bool pass(std::size_t work) {
    done_ += work + 1;
    if (done_ < kWorkPerCheck) return true;
    done_ = 0;
    return PyErr_CheckSignals() == 0;
  }

 private:
  static constexpr std::size_t kWorkPerCheck = std::size_t{1} << 16;
  std::size_t done_ = 0;
};

}  // namespace tessara::lab
