#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The JSON syntax layer under the JSON reader: one forward pass over the bytes
// of a JSON text (RFC 8259) that checks its grammar, validates and decodes its
// strings, and hands every value to a sink in document order. Numbers are
// passed on as their literal text, so a value the sink skips is only checked
// for syntax (1e999 is well formed). Containers are tracked on an explicit
// stack of one byte per open level: no recursion, memory bounded by the input.
namespace tessara::formats::json_syntax {

// Receives the values in document order. Each call also gets the byte offset
// just past the value's last byte (past the opening bracket for start_object
// and start_array, past the closing quote for key). A false return stops the
// parse; the sink keeps its own reason.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual bool null(std::size_t end) = 0;
  virtual bool boolean(bool value, std::size_t end) = 0;
  // literal is a well-formed JSON number.
  virtual bool number(std::string_view literal, std::size_t end) = 0;
  virtual bool string(std::string& value, std::size_t end) = 0;
  virtual bool key(std::string& name, std::size_t end) = 0;
  virtual bool start_object(std::size_t end) = 0;
  virtual bool end_object(std::size_t end) = 0;
  virtual bool start_array(std::size_t end) = 0;
  virtual bool end_array(std::size_t end) = 0;
};

// A syntax failure: its text, and the byte offset just past the byte that
// showed it (the input's length at an unexpected end).
struct SyntaxError {
  std::size_t end;
  std::string text;
};

// Reads one JSON value followed by nothing but JSON white space (space, tab,
// line feed, carriage return; a byte-order mark is not white space). Returns
// the syntax failure, or nothing when the text was read whole or the sink
// stopped the walk.
std::optional<SyntaxError> parse(std::string_view bytes, EventSink& sink);

}  // namespace tessara::formats::json_syntax
