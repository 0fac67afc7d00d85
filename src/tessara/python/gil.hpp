#pragma once

#include "tessara/python/python.hpp"

namespace tessara::python {

// Releases the interpreter lock for its lifetime and takes it back on every
// exit path, exceptions included. No Python object may be touched meanwhile,
// except inside with_lock().
class GilRelease {
 public:
  GilRelease() noexcept : state_(PyEval_SaveThread()) {}
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;
  ~GilRelease() { PyEval_RestoreThread(state_); }

  // Runs `body` with the lock held for a moment, then releases it again. An
  // exception `body` leaves pending stays pending on this thread.
  template <typename Body>
  auto with_lock(Body&& body) {
    PyEval_RestoreThread(state_);
    struct Release {
      PyThreadState*& state;
      ~Release() { state = PyEval_SaveThread(); }
    } release{state_};
    return body();
  }

  // Lets Python run its signal handlers (Ctrl-C raises KeyboardInterrupt in
  // the main thread); false, with the exception pending, when one raised.
  // For the pulse of a long engine run, so an interrupt ends it.
  bool check_signals() {
    return with_lock([] { return PyErr_CheckSignals() == 0; });
  }

 private:
  PyThreadState* state_;
};

}  // namespace tessara::python
