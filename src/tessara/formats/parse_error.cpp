#include "tessara/formats/parse_error.hpp"

namespace tessara::formats {
namespace {

struct Display {
  std::string operator()(const IoFailure& e) const { return "I/O error: " + e.text; }
  std::string operator()(const SyntaxFailure& e) const {
    return "parse error in " + std::string(e.format) + ": " + e.message;
  }
  std::string operator()(const InvalidData& e) const {
    return "invalid " + std::string(e.format) + " data: " + e.message;
  }
  std::string operator()(const ConstructionFailure& e) const {
    return "context construction failed: " + e.error.message();
  }
  std::string operator()(const JsonFailure& e) const { return "JSON error: " + e.text; }
  std::string operator()(const CsvFailure& e) const { return "CSV error: " + e.text; }
};

}  // namespace

std::string ParseError::display() const { return std::visit(Display{}, variant_); }

}  // namespace tessara::formats
