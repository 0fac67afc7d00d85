#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The XML event layer under the FCA-XML reader, built on expat: start tags,
// empty-element tags, end tags and trimmed text, with entities and character
// references decoded. No DTD or external entity is ever loaded, and any entity
// declaration or reference other than the five predefined entities and numeric
// character references is an error.
namespace tessara::formats::xml_events {

struct XmlAttribute {
  std::string_view key;
  std::string_view value;
};

// Receives the events in document order. A false return stops the walk.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // A start tag, or an empty-element tag when empty is true (an empty-element
  // tag gets no end event). The attributes come in document order.
  virtual bool start(std::string_view name, std::span<const XmlAttribute> attributes, bool empty) = 0;
  virtual bool end(std::string_view name) = 0;
  // Consecutive character data with XML white space (space, tab, carriage
  // return, line feed) removed at both ends; never empty. Comments, processing
  // instructions and CDATA sections end a text and are not reported themselves.
  virtual bool text(std::string_view trimmed) = 0;
};

// A failure of the XML layer: the byte position it happened at and its text.
struct XmlError {
  std::uint64_t position;
  std::string text;
};

// Parses the whole document, calling sink for every event. Returns the layer's
// failure, or nothing when the document ended or the sink stopped the walk.
std::optional<XmlError> parse(std::string_view document, EventSink& sink);

}  // namespace tessara::formats::xml_events
