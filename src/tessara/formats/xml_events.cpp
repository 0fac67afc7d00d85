#include "tessara/formats/xml_events.hpp"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace tessara::formats::xml_events {
namespace {

// Expat takes at most INT_MAX bytes per call; larger documents go in pieces.
constexpr std::size_t kPieceSize = std::size_t{1} << 24;

struct ParserDeleter {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

bool is_xml_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Expat's byte index of the current event, or 0 where it has none. Expat
// returns -1 when no event position is known (some 2.5.0 builds do so for an
// empty document); that must never turn into a huge unsigned position.
std::uint64_t known_byte_index(XML_Parser parser) noexcept {
  const XML_Index index = XML_GetCurrentByteIndex(parser);
  return index < 0 ? 0 : static_cast<std::uint64_t>(index);
}

std::string_view trim_xml_space(std::string_view text) noexcept {
  const auto first = std::find_if_not(text.begin(), text.end(), is_xml_space);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), is_xml_space).base();
  return first < last ? std::string_view(&*first, static_cast<std::size_t>(last - first)) : std::string_view{};
}

// Turns expat's callbacks into the events of EventSink.
class Session {
 public:
  Session(XML_Parser parser, std::string_view document, EventSink& sink)
      : parser_(parser), document_(document), sink_(sink) {}

  void install() {
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, on_start, on_end);
    XML_SetCharacterDataHandler(parser_, on_characters);
    XML_SetCommentHandler(parser_, on_comment);
    XML_SetProcessingInstructionHandler(parser_, on_instruction);
    XML_SetCdataSectionHandler(parser_, on_cdata_start, on_cdata_end);
    XML_SetEntityDeclHandler(parser_, on_entity_declaration);
    XML_SetSkippedEntityHandler(parser_, on_skipped_entity);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
  }

  bool sink_stopped() const noexcept { return sink_stopped_; }
  const std::optional<XmlError>& refusal() const noexcept { return refusal_; }

  // Delivers the text gathered so far, if any; false when the sink stops.
  bool flush_text() {
    const std::string_view trimmed = trim_xml_space(pending_text_);
    bool go_on = true;
    if (!trimmed.empty()) go_on = sink_.text(trimmed);
    pending_text_.clear();
    return go_on;
  }

 private:
  static Session& of(void* data) { return *static_cast<Session*>(data); }

  static void on_start(void* data, const XML_Char* name, const XML_Char** attributes) {
    of(data).start(name, attributes);
  }
  static void on_end(void* data, const XML_Char* name) { of(data).end(name); }
  static void on_characters(void* data, const XML_Char* chars, int length) {
    Session& self = of(data);
    if (!self.in_cdata_) self.pending_text_.append(chars, static_cast<std::size_t>(length));
  }
  static void on_comment(void* data, const XML_Char*) { of(data).boundary(); }
  static void on_instruction(void* data, const XML_Char*, const XML_Char*) { of(data).boundary(); }
  static void on_cdata_start(void* data) {
    of(data).boundary();
    of(data).in_cdata_ = true;
  }
  static void on_cdata_end(void* data) { of(data).in_cdata_ = false; }
  static void on_entity_declaration(void* data, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                                    const XML_Char*, const XML_Char*, const XML_Char*) {
    of(data).refuse("entity declarations are not allowed (declaration of \"" + std::string(name) + "\")");
  }
  static void on_skipped_entity(void* data, const XML_Char* name, int) {
    of(data).refuse("undefined entity \"" + std::string(name) + "\"");
  }

  void start(const XML_Char* name, const XML_Char** attributes) {
    if (!flush_text()) return stop_for_sink();
    // Expat reports <a/> as a start and an end; the raw tag tells them apart.
    const std::uint64_t index = known_byte_index(parser_);
    const auto count = static_cast<std::uint64_t>(std::max(0, XML_GetCurrentByteCount(parser_)));
    const bool empty = count >= 2 && index + count <= document_.size() && document_[index + count - 2] == '/';
    // Only the attributes written in the tag count; defaults declared in a DTD
    // come after them and are left out.
    const auto specified = static_cast<std::size_t>(std::max(0, XML_GetSpecifiedAttributeCount(parser_)));
    attributes_.clear();
    for (std::size_t i = 0; i < specified && attributes[i] != nullptr; i += 2)
      attributes_.push_back({attributes[i], attributes[i + 1]});
    skip_next_end_ = empty;
    if (!sink_.start(name, attributes_, empty)) stop_for_sink();
  }

  void end(const XML_Char* name) {
    if (!flush_text()) return stop_for_sink();
    if (skip_next_end_) {
      skip_next_end_ = false;
      return;
    }
    if (!sink_.end(name)) stop_for_sink();
  }

  void boundary() {
    if (!flush_text()) stop_for_sink();
  }

  void stop_for_sink() {
    sink_stopped_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }

  void refuse(std::string reason) {
    if (refusal_) return;
    refusal_ = XmlError{known_byte_index(parser_), std::move(reason)};
    XML_StopParser(parser_, XML_FALSE);
  }

  XML_Parser parser_;
  std::string_view document_;
  EventSink& sink_;
  std::string pending_text_;
  std::vector<XmlAttribute> attributes_;
  std::optional<XmlError> refusal_;
  bool in_cdata_ = false;
  bool skip_next_end_ = false;
  bool sink_stopped_ = false;
};

}  // namespace

std::optional<XmlError> parse(std::string_view document, EventSink& sink) {
  const ParserHandle parser(XML_ParserCreate("UTF-8"));
  if (!parser) return XmlError{0, XML_ErrorString(XML_ERROR_NO_MEMORY)};
  Session session(parser.get(), document, sink);
  session.install();

  std::string_view rest = document;
  do {
    const std::size_t size = std::min(rest.size(), kPieceSize);
    const bool last = size == rest.size();
    if (XML_Parse(parser.get(), rest.data(), static_cast<int>(size), last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
      if (session.sink_stopped()) return std::nullopt;
      if (session.refusal()) return session.refusal();
      const XML_Error code = XML_GetErrorCode(parser.get());
      return XmlError{known_byte_index(parser.get()), XML_ErrorString(code)};
    }
    rest.remove_prefix(size);
  } while (!rest.empty());
  session.flush_text();
  return std::nullopt;
}

}  // namespace tessara::formats::xml_events
