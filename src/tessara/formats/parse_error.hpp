#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "tessara/core/context.hpp"

namespace tessara::formats {

// Reading the input as text failed (for example, it is not UTF-8).
struct IoFailure {
  std::string text;
};
// The surface syntax is wrong: a missing header, a bad number, malformed XML.
struct SyntaxFailure {
  std::string_view format;
  std::string message;
};
// Well-formed input whose content does not make a context.
struct InvalidData {
  std::string_view format;
  std::string message;
};
struct ConstructionFailure {
  core::ContextError error;
};
struct JsonFailure {
  std::string text;
};
struct CsvFailure {
  std::string text;
};

// The one error type of every reader. display() gives the user-facing text.
class ParseError {
 public:
  using Variant = std::variant<IoFailure, SyntaxFailure, InvalidData, ConstructionFailure, JsonFailure, CsvFailure>;

  static ParseError io(std::string text) { return ParseError(IoFailure{std::move(text)}); }
  static ParseError parse(std::string_view format, std::string message) {
    return ParseError(SyntaxFailure{format, std::move(message)});
  }
  static ParseError invalid(std::string_view format, std::string message) {
    return ParseError(InvalidData{format, std::move(message)});
  }
  static ParseError construction(core::ContextError error) { return ParseError(ConstructionFailure{error}); }
  static ParseError json(std::string text) { return ParseError(JsonFailure{std::move(text)}); }
  static ParseError csv(std::string text) { return ParseError(CsvFailure{std::move(text)}); }

  const Variant& variant() const noexcept { return variant_; }
  std::string display() const;

 private:
  explicit ParseError(Variant variant) : variant_(std::move(variant)) {}
  Variant variant_;
};

}  // namespace tessara::formats
