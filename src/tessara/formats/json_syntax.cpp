#include "tessara/formats/json_syntax.hpp"

#include <vector>

#include "tessara/formats/text.hpp"

namespace tessara::formats::json_syntax {
namespace {

bool is_json_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

int hex_digit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What the walk reads next.
enum class Next { Value, Key, AfterValue };

// Every step returns false to end the walk: with error_ set for a syntax
// failure, without it when the sink stopped.
class Parser {
 public:
  Parser(std::string_view bytes, EventSink& sink) : bytes_(bytes), sink_(sink) {}

  std::optional<SyntaxError> run() {
    Next next = Next::Value;
    bool going = true;
    while (going) {
      switch (next) {
        case Next::Value:
          going = value(next);
          break;
        case Next::Key:
          going = key();
          next = Next::Value;
          break;
        case Next::AfterValue:
          if (open_.empty()) return finish() ? std::nullopt : std::move(error_);
          going = after_value(next);
          break;
      }
    }
    return std::move(error_);
  }

 private:
  bool at_end() const noexcept { return at_ == bytes_.size(); }

  bool fail(std::size_t end, std::string_view text) {
    error_ = SyntaxError{end, std::string(text)};
    return false;
  }

  void skip_space() noexcept {
    while (!at_end() && is_json_space(bytes_[at_])) ++at_;
  }

  bool value(Next& next) {
    skip_space();
    if (at_end()) return fail(at_, "EOF while parsing a value");
    next = Next::AfterValue;
    const char c = bytes_[at_];
    switch (c) {
      case '{':
      case '[':
        return open(c, next);
      case '"':
        return string_literal() && sink_.string(scratch_, at_);
      case 't':
        return literal("true") && sink_.boolean(true, at_);
      case 'f':
        return literal("false") && sink_.boolean(false, at_);
      case 'n':
        return literal("null") && sink_.null(at_);
      default:
        break;
    }
    if (c != '-' && !is_digit(c)) return fail(at_ + 1, "expected value");
    const std::size_t begin = at_;
    return number() && sink_.number(bytes_.substr(begin, at_ - begin), at_);
  }

  // An object or array; an empty one is closed at once.
  bool open(char bracket, Next& next) {
    ++at_;
    open_.push_back(bracket);
    if (!(bracket == '{' ? sink_.start_object(at_) : sink_.start_array(at_))) return false;
    skip_space();
    if (!at_end() && bytes_[at_] == (bracket == '{' ? '}' : ']')) return close();
    next = bracket == '{' ? Next::Key : Next::Value;
    return true;
  }

  bool close() {
    const char bracket = open_.back();
    ++at_;
    open_.pop_back();
    return bracket == '{' ? sink_.end_object(at_) : sink_.end_array(at_);
  }

  bool key() {
    skip_space();
    if (at_end()) return fail(at_, "EOF while parsing an object");
    if (bytes_[at_] != '"') return fail(at_ + 1, "key must be a string");
    if (!string_literal() || !sink_.key(scratch_, at_)) return false;
    skip_space();
    if (at_end()) return fail(at_, "EOF while parsing an object");
    if (bytes_[at_] != ':') return fail(at_ + 1, "expected `:`");
    ++at_;
    return true;
  }

  bool after_value(Next& next) {
    skip_space();
    const bool object = open_.back() == '{';
    const char closer = object ? '}' : ']';
    if (at_end()) return fail(at_, object ? "EOF while parsing an object" : "EOF while parsing a list");
    if (bytes_[at_] == closer) return close();
    if (bytes_[at_] != ',') return fail(at_ + 1, object ? "expected `,` or `}`" : "expected `,` or `]`");
    ++at_;
    skip_space();
    if (!at_end() && bytes_[at_] == closer) return fail(at_ + 1, "trailing comma");
    next = object ? Next::Key : Next::Value;
    return true;
  }

  bool finish() {
    skip_space();
    return at_end() || fail(at_ + 1, "trailing characters");
  }

  bool literal(std::string_view word) {
    for (const char expected : word) {
      if (at_end()) return fail(at_, "EOF while parsing a value");
      if (bytes_[at_] != expected) return fail(at_ + 1, "expected ident");
      ++at_;
    }
    return true;
  }

  // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?, checked but not converted.
  bool number() {
    if (bytes_[at_] == '-') ++at_;
    if (at_end()) return fail(at_, "EOF while parsing a value");
    if (bytes_[at_] == '0') {
      ++at_;
      if (!at_end() && is_digit(bytes_[at_])) return fail(at_ + 1, "invalid number");
    } else if (!digits()) {
      return false;
    }
    if (!at_end() && bytes_[at_] == '.') {
      ++at_;
      if (!digits()) return false;
    }
    if (!at_end() && (bytes_[at_] == 'e' || bytes_[at_] == 'E')) {
      ++at_;
      if (!at_end() && (bytes_[at_] == '+' || bytes_[at_] == '-')) ++at_;
      if (!digits()) return false;
    }
    return true;
  }

  bool digits() {
    if (at_end()) return fail(at_, "EOF while parsing a value");
    if (!is_digit(bytes_[at_])) return fail(at_ + 1, "invalid number");
    while (!at_end() && is_digit(bytes_[at_])) ++at_;
    return true;
  }

  // Decodes the string starting at the opening quote into scratch_.
  bool string_literal() {
    scratch_.clear();
    ++at_;
    for (;;) {
      const std::size_t run = at_;
      while (!at_end()) {
        const auto byte = static_cast<unsigned char>(bytes_[at_]);
        if (byte == '"' || byte == '\\' || byte < 0x20 || byte >= 0x80) break;
        ++at_;
      }
      scratch_.append(bytes_.substr(run, at_ - run));
      if (at_end()) return fail(at_, "EOF while parsing a string");
      const auto byte = static_cast<unsigned char>(bytes_[at_]);
      if (byte == '"') {
        ++at_;
        return true;
      }
      if (byte < 0x20) return fail(at_ + 1, "control character (\\u0000-\\u001F) found while parsing a string");
      if (!(byte == '\\' ? escape() : utf8_sequence())) return false;
    }
  }

  // One well-formed UTF-8 sequence of two to four bytes: no overlong forms,
  // surrogates or values beyond U+10FFFF.
  bool utf8_sequence() {
    const auto lead = static_cast<unsigned char>(bytes_[at_]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return fail(at_ + 1, "invalid unicode code point");
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (at_ + k == bytes_.size()) return fail(at_ + k, "EOF while parsing a string");
      const auto byte = static_cast<unsigned char>(bytes_[at_ + k]);
      if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF))
        return fail(at_ + k + 1, "invalid unicode code point");
    }
    scratch_.append(bytes_.substr(at_, length));
    at_ += length;
    return true;
  }

  bool escape() {
    if (at_ + 1 == bytes_.size()) return fail(at_ + 1, "EOF while parsing a string");
    const char kind = bytes_[at_ + 1];
    at_ += 2;
    constexpr std::string_view kEscaped = "\"\\/bfnrt";
    constexpr std::string_view kMeaning = "\"\\/\b\f\n\r\t";
    if (const std::size_t k = kEscaped.find(kind); k != std::string_view::npos) {
      scratch_ += kMeaning[k];
      return true;
    }
    if (kind != 'u') return fail(at_, "invalid escape");
    char32_t unit = 0;
    if (!hex_unit(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return fail(at_, "lone trailing surrogate in hex escape");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      // A leading surrogate must be followed at once by an escaped trailing one.
      for (const char expected : std::string_view("\\u")) {
        if (at_end()) return fail(at_, "EOF while parsing a string");
        if (bytes_[at_] != expected) return fail(at_ + 1, "lone leading surrogate in hex escape");
        ++at_;
      }
      char32_t trailing = 0;
      if (!hex_unit(trailing)) return false;
      if (trailing < 0xDC00 || trailing > 0xDFFF) return fail(at_, "lone leading surrogate in hex escape");
      unit = 0x10000 + ((unit - 0xD800) << 10) + (trailing - 0xDC00);
    }
    text::append_code_point(scratch_, unit);
    return true;
  }

  bool hex_unit(char32_t& unit) {
    for (int k = 0; k < 4; ++k) {
      if (at_end()) return fail(at_, "EOF while parsing a string");
      const int digit = hex_digit(bytes_[at_]);
      if (digit < 0) return fail(at_ + 1, "invalid escape");
      unit = unit * 16 + static_cast<char32_t>(digit);
      ++at_;
    }
    return true;
  }

  std::string_view bytes_;
  EventSink& sink_;
  std::size_t at_ = 0;
  std::vector<char> open_;  // '{' or '[' per open container
  std::string scratch_;
  std::optional<SyntaxError> error_;
};

}  // namespace

std::optional<SyntaxError> parse(std::string_view bytes, EventSink& sink) { return Parser(bytes, sink).run(); }

}  // namespace tessara::formats::json_syntax
