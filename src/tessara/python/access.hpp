#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "tessara/python/py_ref.hpp"

namespace tessara::python {

// The access counter of a wrapped value: 0 when free, n > 0 while n shared
// accesses are held, -1 while one exclusive access is held.
class AccessCounter {
 public:
  bool try_acquire_shared() noexcept {
    std::int64_t seen = count_.load(std::memory_order_relaxed);
    do {
      if (seen < 0) return false;
    } while (!count_.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire, std::memory_order_relaxed));
    return true;
  }
  void release_shared() noexcept { count_.fetch_sub(1, std::memory_order_release); }

  bool try_acquire_exclusive() noexcept {
    std::int64_t expected = 0;
    return count_.compare_exchange_strong(expected, -1, std::memory_order_acquire, std::memory_order_relaxed);
  }
  void release_exclusive() noexcept { count_.store(0, std::memory_order_release); }

 private:
  std::atomic<std::int64_t> count_{0};
};

// Shared access to a wrapped instance plus a strong reference that keeps it
// alive, both given back on destruction (with the interpreter lock held).
class SharedAccess {
 public:
  SharedAccess(PyObject* instance, AccessCounter& counter) noexcept
      : instance_(PyRef::borrow(instance)), counter_(&counter) {}
  SharedAccess(const SharedAccess&) = delete;
  SharedAccess& operator=(const SharedAccess&) = delete;
  SharedAccess(SharedAccess&& other) noexcept
      : instance_(std::move(other.instance_)), counter_(std::exchange(other.counter_, nullptr)) {}
  SharedAccess& operator=(SharedAccess&&) = delete;
  ~SharedAccess() {
    if (counter_ != nullptr) counter_->release_shared();
  }

 private:
  PyRef instance_;
  AccessCounter* counter_;
};

class ExclusiveAccess {
 public:
  ExclusiveAccess(PyObject* instance, AccessCounter& counter) noexcept
      : instance_(PyRef::borrow(instance)), counter_(&counter) {}
  ExclusiveAccess(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
  ~ExclusiveAccess() { counter_->release_exclusive(); }

 private:
  PyRef instance_;
  AccessCounter* counter_;
};

}  // namespace tessara::python
