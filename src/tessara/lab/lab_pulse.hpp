#pragma once

#include <chrono>
#include <cstdint>

#include "tessara/engine/run_control.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"
#include "tessara/python/python.hpp"

namespace tessara::lab {

// The pulse of a run on the calling thread: Python's signal handlers every
// pulse (Ctrl-C ends the run, its KeyboardInterrupt left pending), and the
// progress callable, when there is one, every kProgressInterval with the
// run's count.
class LabPulse {
 public:
  static constexpr std::chrono::milliseconds kProgressInterval{200};

  // `progress` is a callable, or nullptr / None for no reports; it is
  // borrowed and must outlive the run.
  LabPulse(python::GilRelease& unlocked, PyObject* progress)
      : unlocked_(unlocked), progress_(progress == Py_None ? nullptr : progress) {}

  bool operator()(std::uint64_t found) {
    return unlocked_.with_lock([&] {
      if (PyErr_CheckSignals() != 0) return false;
      const auto now = std::chrono::steady_clock::now();
      if (progress_ == nullptr || now < next_report_) return true;
      next_report_ = now + kProgressInterval;
      const python::PyRef count = python::PyRef::steal(PyLong_FromUnsignedLongLong(found));
      if (!count) return false;
      const python::PyRef result =
          python::PyRef::steal(PyObject_CallFunctionObjArgs(progress_, count.get(), nullptr));
      return static_cast<bool>(result);
    });
  }

 private:
  python::GilRelease& unlocked_;
  PyObject* progress_;
  std::chrono::steady_clock::time_point next_report_{};
};

}  // namespace tessara::lab
