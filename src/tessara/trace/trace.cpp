#include "tessara/trace/trace.hpp"

#include <sys/sdt.h>

#include <atomic>

namespace tessara::trace {
namespace {

// The one piece of process-wide state of the trace facade.
std::atomic<Sink> installed_sink{nullptr};

}  // namespace

void set_sink(Sink sink) noexcept { installed_sink.store(sink, std::memory_order_release); }

void publish(const Event& event) noexcept {
  // Targets and messages are string literals, so their data is NUL-terminated.
  DTRACE_PROBE4(tessara, event, event.target.data(), event.message.data(), event.fields.size(), event.fields.data());
  const Sink sink = installed_sink.load(std::memory_order_relaxed);
  if (sink != nullptr) sink(event);
}

}  // namespace tessara::trace
