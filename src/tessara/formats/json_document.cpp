#include "tessara/formats/json_document.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "tessara/formats/json_syntax.hpp"
#include "tessara/formats/text.hpp"

namespace tessara::formats::json_document {
namespace {

// " at line L column C" for the byte offset just past the character in question.
std::string location(std::string_view bytes, std::size_t offset) {
  offset = std::min(offset, bytes.size());
  const std::string_view before = bytes.substr(0, offset);
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  const std::size_t last_feed = before.rfind('\n');
  const std::size_t column = last_feed == std::string_view::npos ? offset : offset - last_feed - 1;
  return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

// What the value at the current place must be.
enum class Want { Document, Payload, Version, ObjectNames, AttributeNames, Name, Incidence, Row, Cell, Anything };

// The containers open at the moment. Values the document does not use are
// skipped by one Skip frame that counts its own nesting, so deep nesting costs
// no native recursion and no memory per level here.
enum class FrameKind {
  DocumentMap,
  DocumentSeq,
  PayloadMap,
  PayloadSeq,
  ObjectNames,
  AttributeNames,
  Incidence,
  Row,
  Skip
};

struct Frame {
  FrameKind kind;
  std::uint64_t count = 0;  // elements read (sequences) or nesting depth (Skip)
  int field = -1;           // the record field whose value comes next (maps)
  std::uint8_t seen = 0;    // record fields already given (maps), one bit each
};

struct Record {
  std::string_view map_name;  // "struct Document"
  std::string_view seq_name;  // "struct Document with 2 elements"
  std::array<std::string_view, 3> fields;
  std::size_t field_count;
};

constexpr Record kDocument{"struct Document", "struct Document with 2 elements", {"tessara_version", "context", ""}, 2};
constexpr Record kPayload{
    "struct ContextPayload", "struct ContextPayload with 3 elements", {"objects", "attributes", "incidence"}, 3};

const Record& record_of(FrameKind kind) {
  return kind == FrameKind::DocumentMap || kind == FrameKind::DocumentSeq ? kDocument : kPayload;
}

Want field_want(bool document, std::uint64_t field) {
  if (document) {
    if (field == 0) return Want::Version;
    if (field == 1) return Want::Payload;
    return Want::Anything;
  }
  if (field == 0) return Want::ObjectNames;
  if (field == 1) return Want::AttributeNames;
  if (field == 2) return Want::Incidence;
  return Want::Anything;
}

std::string_view expectation(Want want) {
  switch (want) {
    case Want::Document:
      return "struct Document";
    case Want::Payload:
      return "struct ContextPayload";
    case Want::Version:
    case Want::Name:
      return "a string";
    case Want::Cell:
      return "a boolean";
    default:
      return "a sequence";
  }
}

// How a number the document gives where it has no place is shown, serde-style
// and as written: "integer `1`", or "floating point `1.5`" when it has a
// fraction or an exponent. It is never converted, so no value is out of range.
std::string number_description(std::string_view literal) {
  const bool floating = literal.find_first_of(".eE") != std::string_view::npos;
  return (floating ? "floating point `" : "integer `") + std::string(literal) + "`";
}

// Checks every event against the two records and collects the payload's lists.
class DocumentHandler final : public json_syntax::EventSink {
 public:
  explicit DocumentHandler(std::string_view bytes) : bytes_(bytes) {}

  bool failed() const noexcept { return !error_.empty(); }
  std::string take_error() { return std::move(error_); }
  Payload take_payload() { return std::move(payload_); }

  bool null(std::size_t end) override { return scalar("null", end); }
  bool boolean(bool value, std::size_t end) override {
    if (skipping()) return true;
    if (want() == Want::Cell) {
      payload_.incidence.back().push_back(value);
      return value_done();
    }
    return scalar(value ? "boolean `true`" : "boolean `false`", end);
  }
  bool number(std::string_view literal, std::size_t end) override {
    if (skipping()) return true;
    return scalar(number_description(literal), end);
  }

  bool string(std::string& value, std::size_t end) override {
    if (skipping()) return true;
    switch (want()) {
      case Want::Version:
        return value_done();
      case Want::Name:
        names_of_top().push_back(std::move(value));
        return value_done();
      case Want::Anything:
        return value_done();
      default:
        return scalar("string " + text::quoted(value), end);
    }
  }

  bool start_object(std::size_t end) override { return open(true, end); }
  bool start_array(std::size_t end) override { return open(false, end); }
  bool end_object(std::size_t end) override { return close(end); }
  bool end_array(std::size_t end) override { return close(end); }

  bool key(std::string& name, std::size_t end) override {
    if (skipping()) return true;
    Frame& frame = frames_.back();
    const Record& record = record_of(frame.kind);
    frame.field = -1;
    for (std::size_t f = 0; f < record.field_count; ++f) {
      if (record.fields[f] != name) continue;
      if ((frame.seen >> f) & 1u) return fail("duplicate field `" + name + "`", end);
      frame.seen = static_cast<std::uint8_t>(frame.seen | (1u << f));
      frame.field = static_cast<int>(f);
    }
    return true;
  }

 private:
  bool skipping() const noexcept { return !frames_.empty() && frames_.back().kind == FrameKind::Skip; }

  Want want() const {
    if (frames_.empty()) return Want::Document;
    const Frame& frame = frames_.back();
    switch (frame.kind) {
      case FrameKind::DocumentMap:
        return field_want(true, frame.field < 0 ? 9 : static_cast<std::uint64_t>(frame.field));
      case FrameKind::DocumentSeq:
        return field_want(true, frame.count);
      case FrameKind::PayloadMap:
        return field_want(false, frame.field < 0 ? 9 : static_cast<std::uint64_t>(frame.field));
      case FrameKind::PayloadSeq:
        return field_want(false, frame.count);
      case FrameKind::ObjectNames:
      case FrameKind::AttributeNames:
        return Want::Name;
      case FrameKind::Incidence:
        return Want::Row;
      case FrameKind::Row:
        return Want::Cell;
      case FrameKind::Skip:
        return Want::Anything;
    }
    return Want::Anything;
  }

  std::vector<std::string>& names_of_top() {
    return frames_.back().kind == FrameKind::ObjectNames ? payload_.objects : payload_.attributes;
  }

  // A value that is not a container: skipped, or a type error where the
  // record wants something else. (Cells and names are taken before this.)
  bool scalar(std::string_view description, std::size_t end) {
    if (skipping()) return true;
    const Want wanted = want();
    if (wanted == Want::Anything) return value_done();
    return type_error(description, wanted, end);
  }

  bool open(bool object, std::size_t end) {
    if (skipping()) {
      ++frames_.back().count;
      return true;
    }
    const Want wanted = want();
    std::optional<FrameKind> kind;
    switch (wanted) {
      case Want::Anything:
        kind = FrameKind::Skip;
        break;
      case Want::Document:
        kind = object ? FrameKind::DocumentMap : FrameKind::DocumentSeq;
        break;
      case Want::Payload:
        kind = object ? FrameKind::PayloadMap : FrameKind::PayloadSeq;
        break;
      case Want::ObjectNames:
        if (!object) kind = FrameKind::ObjectNames;
        break;
      case Want::AttributeNames:
        if (!object) kind = FrameKind::AttributeNames;
        break;
      case Want::Incidence:
        if (!object) kind = FrameKind::Incidence;
        break;
      case Want::Row:
        if (!object) kind = FrameKind::Row;
        break;
      default:
        break;
    }
    if (!kind) return type_error(object ? "map" : "sequence", wanted, end);
    if (*kind == FrameKind::Row) payload_.incidence.emplace_back();
    frames_.push_back(Frame{*kind, *kind == FrameKind::Skip ? 1u : 0u});
    return true;
  }

  bool close(std::size_t end) {
    Frame& frame = frames_.back();
    if (frame.kind == FrameKind::Skip && --frame.count > 0) return true;
    if (frame.kind == FrameKind::DocumentMap || frame.kind == FrameKind::PayloadMap) {
      const Record& record = record_of(frame.kind);
      for (std::size_t f = 0; f < record.field_count; ++f)
        if (((frame.seen >> f) & 1u) == 0) return fail("missing field `" + std::string(record.fields[f]) + "`", end);
    }
    if (frame.kind == FrameKind::DocumentSeq || frame.kind == FrameKind::PayloadSeq) {
      const Record& record = record_of(frame.kind);
      if (frame.count != record.field_count)
        return fail(
            "invalid length " + std::to_string(frame.count) + ", expected " + std::string(record.seq_name), end);
    }
    frames_.pop_back();
    return value_done();
  }

  // A value has been read completely: the enclosing sequence moves on.
  bool value_done() {
    if (frames_.empty()) return true;
    Frame& frame = frames_.back();
    if (frame.kind == FrameKind::DocumentSeq || frame.kind == FrameKind::PayloadSeq) ++frame.count;
    frame.field = -1;
    return true;
  }

  bool type_error(std::string_view description, Want wanted, std::size_t end) {
    return fail("invalid type: " + std::string(description) + ", expected " + std::string(expectation(wanted)), end);
  }

  bool fail(std::string what, std::size_t end) {
    error_ = std::move(what) + location(bytes_, end);
    return false;
  }

  std::string_view bytes_;
  std::vector<Frame> frames_;
  Payload payload_;
  std::string error_;
};

}  // namespace

std::expected<Payload, std::string> parse(std::string_view bytes) {
  DocumentHandler handler(bytes);
  if (auto syntax = json_syntax::parse(bytes, handler))
    return std::unexpected(std::move(syntax->text) + location(bytes, syntax->end));
  if (handler.failed()) return std::unexpected(handler.take_error());
  return handler.take_payload();
}

}  // namespace tessara::formats::json_document
