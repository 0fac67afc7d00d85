#pragma once

#include "tessara/python/python.hpp"

namespace tessara::python {

// Releases the interpreter lock for its lifetime and takes it back on every
// exit path, exceptions included. No Python object may be touched meanwhile.
class GilRelease {
 public:
  GilRelease() noexcept : state_(PyEval_SaveThread()) {}
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;
  ~GilRelease() { PyEval_RestoreThread(state_); }

 private:
  PyThreadState* state_;
};

}  // namespace tessara::python
