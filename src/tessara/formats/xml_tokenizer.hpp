#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The XML layer under the FCA-XML reader: a lenient pull tokenizer over the
// whole document. It reports start tags, empty-element tags, end tags and
// trimmed text, all as raw slices of the document; unescaping is left to the
// caller, value by value (xml_unescape.hpp). Declarations, the document type,
// comments, processing instructions and CDATA sections are passed over and
// never interpreted, so nothing a document declares is ever expanded. End tags
// are checked against the open start tags, which are the only state kept: one
// slice per open element, so memory grows with the input and never beyond it.
namespace tessara::formats::xml {

enum class TokenKind { StartTag, EmptyElementTag, EndTag, Text, EndOfInput };

struct Token {
  TokenKind kind;
  // The element name of a tag; the text of a Text token, with XML white space
  // (space, tab, carriage return, line feed) removed at both ends and never
  // empty; empty at the end of input.
  std::string_view content;
  // The raw attribute list of a start or empty-element tag (walk it with
  // AttributeCursor); empty otherwise.
  std::string_view attributes;
  // The byte offset of content in the document.
  std::uint64_t position;
};

// A failure of the XML layer: the byte offset it was found at and its text.
struct XmlError {
  std::uint64_t position;
  std::string text;
};

class Tokenizer {
 public:
  // A UTF-8 byte-order mark at the start of the document is skipped.
  explicit Tokenizer(std::string_view document) noexcept;

  // The next token, or the failure that ends the document. Once EndOfInput or
  // a failure has been returned, the tokenizer must not be asked again.
  std::expected<Token, XmlError> next();

 private:
  std::expected<Token, XmlError> tag(std::size_t open);
  std::expected<Token, XmlError> end_tag(std::size_t open);
  std::optional<XmlError> skip_markup(std::size_t open);
  std::optional<XmlError> skip_document_type(std::size_t open);
  std::uint64_t offset_of(std::string_view piece) const noexcept;

  std::string_view document_;
  std::size_t at_;
  std::vector<std::string_view> open_elements_;
};

struct XmlAttribute {
  std::string_view key;
  std::string_view raw_value;  // between the quotes, not unescaped
};

// Walks the attribute list of a tag in document order: key, optional white
// space, '=', optional white space, then a value in double or single quotes.
// Anything else (a key without a value, an unquoted value, stray quotes) is a
// malformed attribute and is passed over. A repeated key is reported again;
// callers take the first one they look for.
class AttributeCursor {
 public:
  explicit AttributeCursor(std::string_view attributes) noexcept : rest_(attributes) {}

  // The next well-formed attribute, or nothing at the end of the list.
  std::optional<XmlAttribute> next() noexcept;

 private:
  std::string_view rest_;
};

}  // namespace tessara::formats::xml
