#include "tessara/formats/fca_xml.hpp"

#include <string>
#include <vector>

#include "tessara/formats/limits.hpp"
#include "tessara/formats/text.hpp"
#include "tessara/formats/xml_events.hpp"

namespace tessara::formats {
namespace {

constexpr std::string_view kFormat = "fca-xml";

using xml_events::XmlAttribute;

// The value of the first XML attribute, in document order, whose key is one
// of the two given keys.
std::optional<std::string_view> first_value(std::span<const XmlAttribute> attributes, std::string_view key_a,
                                            std::string_view key_b) {
  for (const XmlAttribute& attribute : attributes)
    if (attribute.key == key_a || attribute.key == key_b) return attribute.value;
  return std::nullopt;
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

// An Attribute element with neither an Id nor a Name key, as ConExp-style
// files write them: its name is the text of its Name child.
struct KeylessAttribute {
  std::uint64_t depth;     // the element's own depth
  bool capturing = false;  // inside its Name child, waiting for text
  bool named = false;      // its name has been taken
};

class FcaXmlReader final : public xml_events::EventSink {
 public:
  bool start(std::string_view name, std::span<const XmlAttribute> attributes, bool empty) override {
    const std::uint64_t own_depth = depth_ + 1;
    if (name == "Object") {
      if (!empty) open_ = OpenObject{};
    } else if (name == "Name") {
      if (!empty) arm_name(own_depth);
    } else if (name == "Attribute") {
      declare_attribute(attributes, empty, own_depth);
    } else if (name == "HasAttribute") {
      add_reference(attributes);
    }
    if (!empty) depth_ = own_depth;
    return true;
  }

  bool end(std::string_view name) override {
    bool go_on = true;
    if (keyless_ && keyless_->depth == depth_) keyless_.reset();
    if (keyless_ && keyless_->capturing && depth_ == keyless_->depth + 1) keyless_->capturing = false;
    if (name == "Object" && open_) go_on = complete_object();
    --depth_;
    return go_on;
  }

  bool text(std::string_view trimmed) override {
    if (keyless_ && keyless_->capturing) {
      attributes_.emplace_back(trimmed);
      keyless_->capturing = false;
      keyless_->named = true;
      return true;
    }
    if (capturing_object_name_) {
      if (open_) open_->name = std::string(trimmed);
      capturing_object_name_ = false;
    }
    return true;
  }

  std::expected<core::Context, ParseError> finish() {
    if (failure_) return std::unexpected(std::move(*failure_));
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
  void arm_name(std::uint64_t own_depth) {
    if (keyless_ && !keyless_->named && own_depth == keyless_->depth + 1) {
      keyless_->capturing = true;
    } else if (open_) {
      capturing_object_name_ = true;
    }
  }

  void declare_attribute(std::span<const XmlAttribute> attributes, bool empty, std::uint64_t own_depth) {
    if (const auto value = first_value(attributes, "Id", "Name")) {
      attributes_.emplace_back(*value);
    } else if (!empty) {
      keyless_ = KeylessAttribute{own_depth};
    }
  }

  void add_reference(std::span<const XmlAttribute> attributes) {
    if (!open_) return;
    const auto value = first_value(attributes, "Id", "AttributeIdentifier");
    if (!value) return;
    if (const auto position = text::parse_unsigned(*value, 64)) open_->references.push_back(*position);
  }

  bool complete_object() {
    std::string name = open_->name ? std::move(*open_->name) : generated_name(objects_.count());
    const std::uint64_t width = attributes_.size();
    for (const std::uint64_t reference : open_->references) {
      if (reference >= width) {
        failure_ = ParseError::invalid(kFormat, "object " + text::quoted(name) + " references attribute id " +
                                                    std::to_string(reference) + ", only " + std::to_string(width) +
                                                    " attributes declared");
        return false;
      }
    }
    objects_.names.push_back(std::move(name));
    objects_.widths.push_back(width);
    objects_.references.insert(objects_.references.end(), open_->references.begin(), open_->references.end());
    objects_.ends.push_back(objects_.references.size());
    open_.reset();
    return true;
  }

  std::vector<std::string> attributes_;
  CompletedObjects objects_;
  std::optional<OpenObject> open_;
  std::optional<KeylessAttribute> keyless_;
  bool capturing_object_name_ = false;
  std::uint64_t depth_ = 0;
  std::optional<ParseError> failure_;
};

}  // namespace

std::expected<core::Context, ParseError> read_fca_xml(std::string_view text) {
  FcaXmlReader reader;
  if (const auto failure = xml_events::parse(text, reader)) {
    return std::unexpected(ParseError::parse(
        kFormat, "XML parse error at position " + std::to_string(failure->position) + ": " + failure->text));
  }
  return reader.finish();
}

}  // namespace tessara::formats
