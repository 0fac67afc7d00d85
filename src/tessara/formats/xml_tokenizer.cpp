#include "tessara/formats/xml_tokenizer.hpp"

#include <algorithm>
#include <array>

#include "tessara/formats/text.hpp"

namespace tessara::formats::xml {
namespace {

// A set of bytes with one table lookup per byte: std::string_view's
// find_first_of searches the set once per byte of the text instead.
class ByteSet {
 public:
  consteval explicit ByteSet(std::string_view members) {
    for (const char c : members) members_[static_cast<unsigned char>(c)] = true;
  }
  bool contains(char c) const noexcept { return members_[static_cast<unsigned char>(c)]; }
  // The first position from `from` on whose byte is (or is not) in the set, or npos.
  std::size_t find_in(std::string_view text, std::size_t from = 0, bool member = true) const noexcept {
    for (std::size_t i = from; i < text.size(); ++i)
      if (contains(text[i]) == member) return i;
    return std::string_view::npos;
  }
  std::size_t find_not_in(std::string_view text, std::size_t from = 0) const noexcept {
    return find_in(text, from, false);
  }

 private:
  std::array<bool, 256> members_{};
};

constexpr ByteSet kXmlSpace(" \t\r\n");
constexpr ByteSet kNameEnd(" \t\r\n/>");
constexpr ByteSet kQuoteOrTagEnd("\"'>");
constexpr ByteSet kKeyEnd(" \t\r\n=\"'");
constexpr ByteSet kDocumentTypeMarks("\"'[>");
constexpr ByteSet kSubsetMarks("\"'<]");
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim_xml_space(std::string_view text) noexcept {
  const std::size_t first = kXmlSpace.find_not_in(text);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.size();
  while (kXmlSpace.contains(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string_view trim_xml_space_end(std::string_view text) noexcept {
  while (!text.empty() && kXmlSpace.contains(text.back())) text.remove_suffix(1);
  return text;
}

// Whether text starts with a lower-case prefix, in any case.
bool starts_with_ignoring_case(std::string_view text, std::string_view lower_prefix) noexcept {
  const auto same = [](char lower, char c) {
    return c == lower || (c >= 'A' && c <= 'Z' && static_cast<char>(c - 'A' + 'a') == lower);
  };
  return text.size() >= lower_prefix.size() && std::equal(lower_prefix.begin(), lower_prefix.end(), text.begin(), same);
}

std::unexpected<XmlError> failure(std::uint64_t position, std::string text) {
  return std::unexpected(XmlError{position, std::move(text)});
}

// Drops a quoted run ("..." or '...') from the front of text; all of it when
// the closing quote is missing.
void drop_quoted(std::string_view& text) noexcept {
  const std::size_t close = text.find(text.front(), 1);
  text = close == std::string_view::npos ? std::string_view{} : text.substr(close + 1);
}

}  // namespace

Tokenizer::Tokenizer(std::string_view document) noexcept
    : document_(document), at_(document.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0) {}

std::uint64_t Tokenizer::offset_of(std::string_view piece) const noexcept {
  return static_cast<std::uint64_t>(piece.data() - document_.data());
}

std::expected<Token, XmlError> Tokenizer::next() {
  while (at_ < document_.size()) {
    if (document_[at_] == '<') {
      const std::size_t open = at_;
      const char marker = open + 1 < document_.size() ? document_[open + 1] : '\0';
      if (marker == '/') return end_tag(open);
      if (marker != '?' && marker != '!') return tag(open);
      if (auto skipped = skip_markup(open)) return std::unexpected(std::move(*skipped));
      continue;
    }
    const std::size_t end = std::min(document_.find('<', at_), document_.size());
    const std::string_view text = trim_xml_space(document_.substr(at_, end - at_));
    at_ = end;
    if (!text.empty()) return Token{TokenKind::Text, text, {}, offset_of(text)};
  }
  if (!open_elements_.empty())
    return failure(document_.size(), "unclosed element " + text::quoted(open_elements_.back()) + " at end of input");
  return Token{TokenKind::EndOfInput, {}, {}, document_.size()};
}

// A start or empty-element tag. Its name runs to the first white space, '/' or
// '>'; the tag ends at the first '>' outside a quoted run.
std::expected<Token, XmlError> Tokenizer::tag(std::size_t open) {
  const std::size_t name_begin = open + 1;
  const std::size_t name_end = std::min(kNameEnd.find_in(document_, name_begin), document_.size());
  const std::string_view name = document_.substr(name_begin, name_end - name_begin);
  if (name.empty()) return failure(open, "expected an element name after \"<\"");
  std::size_t close = name_end;
  for (;;) {
    close = kQuoteOrTagEnd.find_in(document_, close);
    if (close == std::string_view::npos) return failure(open, "unclosed start tag");
    if (document_[close] == '>') break;
    close = document_.find(document_[close], close + 1);
    if (close == std::string_view::npos) return failure(open, "unclosed start tag");
    ++close;
  }
  // The name holds no '/', so a '/' right before '>' always follows it.
  const bool empty = document_[close - 1] == '/';
  const std::size_t attributes_end = empty ? close - 1 : close;
  at_ = close + 1;
  if (!empty) open_elements_.push_back(name);
  return Token{empty ? TokenKind::EmptyElementTag : TokenKind::StartTag, name,
               document_.substr(name_end, attributes_end - name_end), name_begin};
}

std::expected<Token, XmlError> Tokenizer::end_tag(std::size_t open) {
  const std::size_t name_begin = open + 2;
  const std::size_t close = document_.find('>', name_begin);
  if (close == std::string_view::npos) return failure(open, "unclosed end tag");
  const std::string_view name = trim_xml_space_end(document_.substr(name_begin, close - name_begin));
  if (open_elements_.empty()) return failure(name_begin, "end tag " + text::quoted(name) + " has no start tag");
  if (open_elements_.back() != name)
    return failure(name_begin, "end tag " + text::quoted(name) + " does not match start tag " +
                                   text::quoted(open_elements_.back()));
  open_elements_.pop_back();
  at_ = close + 1;
  return Token{TokenKind::EndTag, name, {}, name_begin};
}

// Declarations, processing instructions, comments, CDATA sections and the
// document type: passed over whole, their content never looked at.
std::optional<XmlError> Tokenizer::skip_markup(std::size_t open) {
  const std::string_view rest = document_.substr(open);
  const auto skip_past = [&](std::size_t from, std::string_view closer,
                             std::string_view what) -> std::optional<XmlError> {
    const std::size_t found = document_.find(closer, open + from);
    if (found == std::string_view::npos) return XmlError{open, "unclosed " + std::string(what)};
    at_ = found + closer.size();
    return std::nullopt;
  };
  if (rest.starts_with("<?")) return skip_past(2, "?>", "processing instruction");
  if (rest.starts_with("<!--")) return skip_past(4, "-->", "comment");
  if (rest.starts_with("<![CDATA[")) return skip_past(9, "]]>", "CDATA section");
  if (starts_with_ignoring_case(rest, "<!doctype")) return skip_document_type(open);
  return XmlError{open, "expected a comment, a CDATA section or a document type after \"<!\""};
}

// The document type ends at the first '>' outside quoted literals and outside
// its internal subset in brackets; comments and processing instructions in the
// subset are passed over whole, since they may hold quotes or brackets.
std::optional<XmlError> Tokenizer::skip_document_type(std::size_t open) {
  const XmlError unclosed{open, "unclosed document type declaration"};
  std::size_t at = open + 9;
  bool in_subset = false;
  for (;;) {
    at = (in_subset ? kSubsetMarks : kDocumentTypeMarks).find_in(document_, at);
    if (at == std::string_view::npos) return unclosed;
    const char c = document_[at];
    std::size_t resume = at + 1;
    if (c == '"' || c == '\'') {
      resume = document_.find(c, at + 1);
      if (resume == std::string_view::npos) return unclosed;
      ++resume;
    } else if (c == '[' || c == ']') {
      in_subset = c == '[';
    } else if (c == '>') {
      at_ = at + 1;
      return std::nullopt;
    } else if (const std::string_view rest = document_.substr(at); rest.starts_with("<!--") || rest.starts_with("<?")) {
      const std::string_view closer = rest[1] == '!' ? "-->" : "?>";
      resume = document_.find(closer, at + (rest[1] == '!' ? 4 : 2));
      if (resume == std::string_view::npos) return unclosed;
      resume += closer.size();
    }
    at = resume;
  }
}

std::optional<XmlAttribute> AttributeCursor::next() noexcept {
  const auto skip_space = [this] {
    const std::size_t first = kXmlSpace.find_not_in(rest_);
    rest_ = first == std::string_view::npos ? std::string_view{} : rest_.substr(first);
  };
  for (;;) {
    skip_space();
    if (rest_.empty()) return std::nullopt;
    const std::size_t key_end = std::min(kKeyEnd.find_in(rest_), rest_.size());
    const std::string_view key = rest_.substr(0, key_end);
    rest_.remove_prefix(key_end);
    skip_space();
    if (rest_.empty() || rest_.front() != '=') {
      // A key without a value; or, with no key, a stray quoted run.
      if (key.empty()) drop_quoted(rest_);
      continue;
    }
    rest_.remove_prefix(1);
    skip_space();
    if (rest_.empty()) return std::nullopt;
    if (rest_.front() != '"' && rest_.front() != '\'') {
      // An unquoted value runs to the next white space, over any quoted run in it.
      while (!rest_.empty() && !kXmlSpace.contains(rest_.front())) {
        if (rest_.front() == '"' || rest_.front() == '\'') {
          drop_quoted(rest_);
        } else {
          rest_.remove_prefix(1);
        }
      }
      continue;
    }
    const std::size_t close = rest_.find(rest_.front(), 1);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view value = rest_.substr(1, close - 1);
    rest_.remove_prefix(close + 1);
    if (!key.empty()) return XmlAttribute{key, value};
  }
}

}  // namespace tessara::formats::xml
