#include "tessara/formats/json_document.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "tessara/formats/text.hpp"

namespace tessara::formats::json_document {
namespace {

using Json = nlohmann::json;

// A byte iterator that records how far the JSON parser has read, so errors
// found between its events can still be placed on a line and column.
class TrackingIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackingIterator() = default;
  TrackingIterator(const char* at, const char** reached) noexcept : at_(at), reached_(reached) {}

  reference operator*() const noexcept { return *at_; }
  TrackingIterator& operator++() noexcept {
    ++at_;
    *reached_ = at_;
    return *this;
  }
  TrackingIterator operator++(int) noexcept {
    TrackingIterator before = *this;
    ++*this;
    return before;
  }
  friend bool operator==(const TrackingIterator& a, const TrackingIterator& b) noexcept { return a.at_ == b.at_; }

 private:
  const char* at_ = nullptr;
  const char** reached_ = nullptr;
};

// " at line L column C" for the byte offset just past the character in question.
std::string location(std::string_view bytes, std::size_t offset) {
  offset = std::min(offset, bytes.size());
  const std::string_view before = bytes.substr(0, offset);
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  const std::size_t last_feed = before.rfind('\n');
  const std::size_t column = last_feed == std::string_view::npos ? offset : offset - last_feed - 1;
  return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

std::string float_text(double value) {
  std::array<char, 64> buffer{};
  const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
  std::string out(buffer.data(), end);
  if (out.find_first_of(".eEn") == std::string::npos) out += ".0";
  return out;
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

// The SAX handler: checks every event against the two records and collects
// the payload's lists.
class DocumentHandler {
 public:
  explicit DocumentHandler(std::string_view bytes) : bytes_(bytes), reached_(bytes.data()) {}

  const char** reached() noexcept { return &reached_; }
  std::string take_error() { return std::move(error_); }
  Payload take_payload() { return std::move(payload_); }

  bool null() { return scalar(Value{"null", false, false}); }
  bool boolean(bool value) {
    if (skipping()) return true;
    if (want() == Want::Cell) {
      payload_.incidence.back().push_back(value);
      return value_done();
    }
    return scalar(Value{value ? "boolean `true`" : "boolean `false`", false, false});
  }
  bool number_integer(Json::number_integer_t value) {
    return scalar(Value{"integer `" + std::to_string(value) + "`", false, true});
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    return scalar(Value{"integer `" + std::to_string(value) + "`", false, true});
  }
  bool number_float(Json::number_float_t value, const Json::string_t&) {
    return scalar(Value{"floating point `" + float_text(value) + "`", false, true});
  }
  bool binary(Json::binary_t&) { return scalar(Value{"byte array", false, false}); }

  bool string(Json::string_t& value) {
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
        return scalar(Value{"string " + text::quoted(value), false, false});
    }
  }

  bool start_object(std::size_t) { return open(true); }
  bool start_array(std::size_t) { return open(false); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(Json::string_t& name) {
    if (skipping()) return true;
    Frame& frame = frames_.back();
    const Record& record = record_of(frame.kind);
    frame.field = -1;
    for (std::size_t f = 0; f < record.field_count; ++f) {
      if (record.fields[f] != name) continue;
      if ((frame.seen >> f) & 1u) return fail("duplicate field `" + name + "`");
      frame.seen = static_cast<std::uint8_t>(frame.seen | (1u << f));
      frame.field = static_cast<int>(f);
    }
    return true;
  }

  bool parse_error(std::size_t position, const std::string&, const nlohmann::json::exception& failure) {
    if (done_) {
      error_ = "trailing characters" + location(bytes_, position);
      return false;
    }
    // nlohmann's text reads "[json.exception.parse_error.N] parse error at line L, column C: detail".
    std::string_view detail = failure.what();
    if (const std::size_t colon = detail.find(": "); colon != std::string_view::npos) detail.remove_prefix(colon + 2);
    error_ = std::string(detail) + location(bytes_, position);
    return false;
  }

  bool done() const noexcept { return done_; }

 private:
  struct Value {
    std::string description;  // serde-style: integer `1`, string "a", null
    bool container;
    bool number;
  };

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

  bool scalar(const Value& value) {
    if (skipping()) return true;
    const Want wanted = want();
    if (wanted == Want::Anything) return value_done();
    return type_error(value, wanted);
  }

  bool open(bool object) {
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
    if (!kind) return type_error(Value{object ? "map" : "sequence", true, false}, wanted);
    if (*kind == FrameKind::Row) payload_.incidence.emplace_back();
    frames_.push_back(Frame{*kind, *kind == FrameKind::Skip ? 1u : 0u});
    return true;
  }

  bool close() {
    Frame& frame = frames_.back();
    if (frame.kind == FrameKind::Skip && --frame.count > 0) return true;
    if (frame.kind == FrameKind::DocumentMap || frame.kind == FrameKind::PayloadMap) {
      const Record& record = record_of(frame.kind);
      for (std::size_t f = 0; f < record.field_count; ++f)
        if (((frame.seen >> f) & 1u) == 0) return fail("missing field `" + std::string(record.fields[f]) + "`");
    }
    if (frame.kind == FrameKind::DocumentSeq || frame.kind == FrameKind::PayloadSeq) {
      const Record& record = record_of(frame.kind);
      if (frame.count != record.field_count)
        return fail("invalid length " + std::to_string(frame.count) + ", expected " + std::string(record.seq_name));
    }
    frames_.pop_back();
    return value_done();
  }

  // A value has been read completely: the enclosing sequence moves on.
  bool value_done() {
    if (frames_.empty()) {
      done_ = true;
      return true;
    }
    Frame& frame = frames_.back();
    if (frame.kind == FrameKind::DocumentSeq || frame.kind == FrameKind::PayloadSeq) ++frame.count;
    frame.field = -1;
    return true;
  }

  bool type_error(const Value& value, Want wanted) {
    std::size_t offset = static_cast<std::size_t>(reached_ - bytes_.data());
    // The number scanner reads one byte past the number before giving it back.
    if (value.number && offset > 0 && offset <= bytes_.size() &&
        std::string_view("0123456789+-.eE").find(bytes_[offset - 1]) == std::string_view::npos)
      --offset;
    error_ = "invalid type: " + value.description + ", expected " + std::string(expectation(wanted)) +
             location(bytes_, offset);
    return false;
  }

  bool fail(std::string what) {
    error_ = std::move(what) + location(bytes_, static_cast<std::size_t>(reached_ - bytes_.data()));
    return false;
  }

  std::string_view bytes_;
  const char* reached_;
  std::vector<Frame> frames_;
  Payload payload_;
  std::string error_;
  bool done_ = false;
};

}  // namespace

std::expected<Payload, std::string> parse(std::string_view bytes) {
  DocumentHandler handler(bytes);
  const TrackingIterator first(bytes.data(), handler.reached());
  const TrackingIterator last(bytes.data() + bytes.size(), handler.reached());
  const bool accepted = Json::sax_parse(first, last, &handler);
  if (!accepted || !handler.done()) {
    std::string error = handler.take_error();
    if (error.empty()) error = "EOF while parsing a value" + location(bytes, bytes.size());
    // The parser's texts may quote raw input bytes; keep the message valid UTF-8.
    return std::unexpected(text::is_valid_utf8(error) ? error : text::decode_lossy(error));
  }
  return handler.take_payload();
}

}  // namespace tessara::formats::json_document
