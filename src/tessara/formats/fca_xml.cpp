#include "tessara/formats/fca_xml.hpp"

#include <string>
#include <vector>

#include "tessara/formats/limits.hpp"
#include "tessara/formats/text.hpp"
#include "tessara/formats/xml_tokenizer.hpp"
#include "tessara/formats/xml_unescape.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "fca-xml";

// The raw value of the first well-formed XML attribute of a tag, in document
// order, whose key is one of the two given keys.
std::optional<std::string_view> first_raw_value(const xml::Token& tag, std::string_view key_a,
                                                std::string_view key_b) {
  xml::AttributeCursor cursor(tag.attributes);
  while (const auto attribute = cursor.next())
    if (attribute->key == key_a || attribute->key == key_b) return attribute->raw_value;
  return std::nullopt;
}

// A raw value of the tag unescaped, or nothing when it does not unescape.
std::optional<std::string> unescaped(const xml::Token& tag, std::string_view raw_value) {
  const auto offset = static_cast<std::uint64_t>(raw_value.data() - tag.content.data());
  auto value = xml::unescape(raw_value, tag.position + offset);
  if (!value) return std::nullopt;
  return std::move(*value);
}

// "g{}" for an object that captured no name. (Built by appending: gcc 12 warns
// falsely on a literal plus a temporary string.)
std::string generated_name(std::size_t completed_before) {
  std::string name = "g";
  name += std::to_string(completed_before);
  return name;
}

// Completed objects, kept sparse while reading: each object's name, the width
// its row has (the attributes declared before it ended) and its references.
struct CompletedObjects {
  std::vector<std::string> names;
  std::vector<std::uint64_t> widths;
  std::vector<std::uint64_t> references;
  std::vector<std::size_t> ends;

  std::size_t count() const noexcept { return names.size(); }

  std::vector<core::IncidenceRow> dense_rows() const {
    std::vector<core::IncidenceRow> rows;
    rows.reserve(count());
    std::size_t begin = 0;
    for (std::size_t g = 0; g < count(); ++g) {
      core::IncidenceRow row(widths[g]);
      for (std::size_t k = begin; k < ends[g]; ++k) row[references[k]] = true;
      rows.push_back(std::move(row));
      begin = ends[g];
    }
    return rows;
  }
};

// The object between an Object start tag and its end tag.
struct OpenObject {
  std::optional<std::string> name;
  std::vector<std::uint64_t> references;
};

// An Attribute element with neither an Id nor a Name key outside any open
// object, as ConExp writes them: its name is the text of its Name child.
struct KeylessAttribute {
  std::uint64_t depth;     // the element's own depth
  bool capturing = false;  // inside its Name child, waiting for text
  bool named = false;      // its name has been taken
};

// One forward pass over the tokens; the first failure ends the reading.
class FcaXmlReader {
 public:
  std::optional<ParseError> take(const xml::Token& token) {
    switch (token.kind) {
      case xml::TokenKind::StartTag:
        start(token, false);
        return std::nullopt;
      case xml::TokenKind::EmptyElementTag:
        start(token, true);
        return std::nullopt;
      case xml::TokenKind::EndTag:
        return end(token.content);
      case xml::TokenKind::Text:
        return text(token);
      case xml::TokenKind::EndOfInput:
        break;
    }
    return std::nullopt;
  }

  std::expected<core::Context, ParseError> finish() {
    if (attributes_.empty()) return std::unexpected(ParseError::invalid(kFormat, "no <Attribute> elements found"));
    if (objects_.count() == 0) return std::unexpected(ParseError::invalid(kFormat, "no <Object> elements found"));
    if (auto too_large = check_context_size(kFormat, objects_.count(), attributes_.size()))
      return std::unexpected(std::move(*too_large));
    auto rows = objects_.dense_rows();
    auto context = core::Context::create(std::move(objects_.names), std::move(attributes_), std::move(rows));
    if (!context) return std::unexpected(ParseError::construction(context.error()));
    return std::move(*context);
  }

 private:
  void start(const xml::Token& tag, bool empty) {
    const std::uint64_t own_depth = depth_ + 1;
    const std::string_view name = tag.content;
    if (name == "Object") {
      if (!empty) open_ = OpenObject{};
    } else if (name == "Name") {
      if (!empty) arm_name(own_depth);
    } else if (name == "Attribute") {
      declare_attribute(tag, empty, own_depth);
    } else if (name == "HasAttribute") {
      add_reference(tag);
    }
    if (!empty) depth_ = own_depth;
  }

  std::optional<ParseError> end(std::string_view name) {
    std::optional<ParseError> failure;
    if (keyless_ && keyless_->depth == depth_) keyless_.reset();
    if (keyless_ && keyless_->capturing && depth_ == keyless_->depth + 1) keyless_->capturing = false;
    if (name == "Object" && open_) failure = complete_object();
    --depth_;
    return failure;
  }

  // Text counts only while a name is being captured; only then is it unescaped.
  std::optional<ParseError> text(const xml::Token& token) {
    const bool keyless_capture = keyless_ && keyless_->capturing;
    if (!keyless_capture && !capturing_object_name_) return std::nullopt;
    auto value = xml::unescape(token.content, token.position);
    if (!value) return ParseError::parse(kFormat, "invalid text in <Name>: " + value.error());
    if (keyless_capture) {
      attributes_.push_back(*value);
      keyless_->capturing = false;
      keyless_->named = true;
    }
    if (capturing_object_name_) {
      if (open_) open_->name = std::move(*value);
      capturing_object_name_ = false;
    }
    return std::nullopt;
  }

  // Inside an open object a Name names the object, whatever element it sits
  // in; outside, the Name child of a keyless Attribute names that attribute.
  void arm_name(std::uint64_t own_depth) {
    if (open_) {
      capturing_object_name_ = true;
    } else if (keyless_ && !keyless_->named && own_depth == keyless_->depth + 1) {
      keyless_->capturing = true;
    }
  }

  void declare_attribute(const xml::Token& tag, bool empty, std::uint64_t own_depth) {
    const auto raw = first_raw_value(tag, "Id", "Name");
    if (!raw) {
      if (!empty && !open_) keyless_ = KeylessAttribute{own_depth};
      return;
    }
    if (auto value = unescaped(tag, *raw)) attributes_.push_back(std::move(*value));
  }

  void add_reference(const xml::Token& tag) {
    if (!open_) return;
    const auto raw = first_raw_value(tag, "Id", "AttributeIdentifier");
    if (!raw) return;
    const auto value = unescaped(tag, *raw);
    if (!value) return;
    if (const auto position = text::parse_unsigned(*value, 64)) open_->references.push_back(*position);
  }

  std::optional<ParseError> complete_object() {
    std::string name = open_->name ? std::move(*open_->name) : generated_name(objects_.count());
    const std::uint64_t width = attributes_.size();
    for (const std::uint64_t reference : open_->references) {
      if (reference >= width) {
        return ParseError::invalid(kFormat, "object " + text::quoted(name) + " references attribute id " +
                                                std::to_string(reference) + ", only " + std::to_string(width) +
                                                " attributes declared");
      }
    }
    objects_.names.push_back(std::move(name));
    objects_.widths.push_back(width);
    objects_.references.insert(objects_.references.end(), open_->references.begin(), open_->references.end());
    objects_.ends.push_back(objects_.references.size());
    open_.reset();
    return std::nullopt;
  }

  std::vector<std::string> attributes_;
  CompletedObjects objects_;
  std::optional<OpenObject> open_;
  std::optional<KeylessAttribute> keyless_;
  bool capturing_object_name_ = false;
  std::uint64_t depth_ = 0;
};

}  // namespace

std::expected<core::Context, ParseError> read_fca_xml(std::string_view text) {
  xml::Tokenizer tokenizer(text);
  FcaXmlReader reader;
  for (;;) {
    const auto token = tokenizer.next();
    if (!token) {
      return std::unexpected(ParseError::parse(kFormat, "XML parse error at position " +
                                                            std::to_string(token.error().position) + ": " +
                                                            token.error().text));
    }
    if (token->kind == xml::TokenKind::EndOfInput) return reader.finish();
    if (auto failure = reader.take(*token)) return std::unexpected(std::move(*failure));
  }
}

}  // namespace tessara::formats
