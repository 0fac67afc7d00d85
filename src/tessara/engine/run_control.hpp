#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

namespace tessara::engine {

// Waits on `ready` until `deadline` on the system clock. The engine's timed
// waits go through here: a steady-clock wait makes std::condition_variable
// ask for pthread_cond_clockwait, which the oldest glibc the wheel supports
// lacks, and the waits are short polls that a clock step at worst shortens.
inline std::cv_status wait_until(std::condition_variable& ready, std::unique_lock<std::mutex>& lock,
                                 std::chrono::system_clock::time_point deadline) {
  return ready.wait_until(lock, deadline);
}

inline std::cv_status wait_for(std::condition_variable& ready, std::unique_lock<std::mutex>& lock,
                               std::chrono::milliseconds wait) {
  return wait_until(ready, lock, std::chrono::system_clock::now() + wait);
}

// What a run is asked to produce: the concepts whose extents hold at least
// min_support objects (0 and 1 differ only in the bottom concept with an
// empty extent), and at most max_concepts of them.
struct RunLimits {
  std::uint64_t min_support = 0;
  std::uint64_t max_concepts = std::numeric_limits<std::uint64_t>::max();
};

// Why a run ended without its result.
enum class RunStop { kCancelled, kTooManyConcepts };

// Shared by every thread of one run: the limits, a stop flag, the count of
// concepts found so far, and the pulse, a function of the thread that
// started the run (it handles Ctrl-C and reports progress there).
//
// The kernels poll it through their host every few hundred candidates; the
// poll is one relaxed load, and the clock is read only by the thread that
// runs the pulse.
class RunControl {
 public:
  // Gets the number of concepts found so far; returns false to cancel the run.
  using Pulse = std::function<bool(std::uint64_t found)>;

  // How often the starting thread runs the pulse while the run goes on.
  static constexpr std::chrono::milliseconds kPulseInterval{20};
  // The work (attributes tried) a walk does between two checkpoints.
  static constexpr std::uint64_t kWorkPerCheckpoint = 4096;

  explicit RunControl(RunLimits limits = {}, Pulse pulse = {})
      : limits_(limits), pulse_(std::move(pulse)), next_pulse_(Clock::now() + kPulseInterval) {}
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  const RunLimits& limits() const noexcept { return limits_; }

  bool stopped() const noexcept { return stop_.load(std::memory_order_relaxed) != kRunning; }
  // Why the run stopped, or nullopt while it has not.
  std::optional<RunStop> stop_reason() const noexcept {
    const int state = stop_.load(std::memory_order_acquire);
    if (state == kRunning) return std::nullopt;
    return state == kTooMany ? RunStop::kTooManyConcepts : RunStop::kCancelled;
  }
  void cancel() noexcept { stop_with(kCancelled); }

  // Adds concepts to the count; false (and the run stops) once the count
  // passes max_concepts.
  bool count(std::uint64_t concepts) noexcept {
    const std::uint64_t total = found_.fetch_add(concepts, std::memory_order_relaxed) + concepts;
    if (total > limits_.max_concepts) {
      stop_with(kTooMany);
      return false;
    }
    return !stopped();
  }
  std::uint64_t found() const noexcept { return found_.load(std::memory_order_relaxed); }

  // On the starting thread only: runs the pulse when kPulseInterval has
  // passed since the last time, and cancels the run when it asks to. Returns
  // false once the run is stopped.
  bool beat() {
    if (stopped()) return false;
    if (!pulse_) return true;
    const Clock::time_point now = Clock::now();
    if (now < next_pulse_) return true;
    next_pulse_ = now + kPulseInterval;
    return pulse_now();
  }

  // On the starting thread only: runs the pulse now (a final progress report).
  bool pulse_now() {
    if (pulse_ && !pulse_(found())) cancel();
    return !stopped();
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr int kRunning = 0;
  static constexpr int kCancelled = 1;
  static constexpr int kTooMany = 2;

  void stop_with(int reason) noexcept {
    int expected = kRunning;
    stop_.compare_exchange_strong(expected, reason, std::memory_order_acq_rel);
  }

  const RunLimits limits_;
  const Pulse pulse_;
  std::atomic<int> stop_{kRunning};
  std::atomic<std::uint64_t> found_{0};
  Clock::time_point next_pulse_;
};

}  // namespace tessara::engine
