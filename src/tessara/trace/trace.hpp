#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

namespace tessara::trace {

enum class Level { Debug };

// A named field of an event: an unsigned integer or a text.
struct Field {
  std::string_view name;
  std::variant<std::uint64_t, std::string_view> value;
};

struct Event {
  Level level;
  std::string_view target;
  std::string_view message;
  std::span<const Field> fields;  // in declaration order
};

// Receives every emitted event on the emitting thread. The event and its texts
// live only for the duration of the call.
using Sink = void (*)(const Event&);

// Installs the process-wide sink (nullptr removes it). The module never installs
// one; a C++ host or a test does.
void set_sink(Sink sink) noexcept;

// Hands the event to the installed sink, if any, and fires the USDT probe
// tessara:event (target, message, field count, field array).
void publish(const Event& event) noexcept;

inline Field field(std::string_view name, std::uint64_t value) { return Field{name, value}; }
inline Field field(std::string_view name, std::string_view value) { return Field{name, value}; }

// emit("tessara_engine::fcbo", "concept generation complete",
//      field("algorithm", "fcbo"), field("concepts", n), ...)
template <typename... Fields>
void emit(std::string_view target, std::string_view message, Fields... fields) noexcept {
  const std::array<Field, sizeof...(Fields)> list{fields...};
  publish(Event{Level::Debug, target, message, std::span<const Field>(list.data(), list.size())});
}

}  // namespace tessara::trace
