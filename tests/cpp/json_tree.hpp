#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessara/formats/json_syntax.hpp"

// A small JSON tree for tests that check documents the writers make, read
// through the project's own JSON syntax layer. Numbers keep their literal text.
namespace tessara::testing {

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a string's value or a number's literal
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  const JsonValue& operator[](const std::string& key) const {
    static const JsonValue missing;
    const auto found = members.find(key);
    return found == members.end() ? missing : found->second;
  }
  const JsonValue& operator[](std::size_t index) const { return items.at(index); }
  std::size_t size() const { return kind == Kind::Object ? members.size() : items.size(); }
  double number() const { return std::stod(text); }
  std::vector<std::string> strings() const {
    std::vector<std::string> out;
    for (const JsonValue& item : items) out.push_back(item.text);
    return out;
  }
};

namespace detail {

class TreeSink final : public formats::json_syntax::EventSink {
 public:
  JsonValue root;

  bool null(std::size_t) override { return place(JsonValue{}); }
  bool boolean(bool value, std::size_t) override {
    JsonValue v;
    v.kind = JsonValue::Kind::Boolean;
    v.boolean = value;
    return place(std::move(v));
  }
  bool number(std::string_view literal, std::size_t) override {
    JsonValue v;
    v.kind = JsonValue::Kind::Number;
    v.text = literal;
    return place(std::move(v));
  }
  bool string(std::string& value, std::size_t) override {
    JsonValue v;
    v.kind = JsonValue::Kind::String;
    v.text = value;
    return place(std::move(v));
  }
  bool key(std::string& name, std::size_t) override {
    keys_.push_back(name);
    return true;
  }
  bool start_object(std::size_t) override { return open(JsonValue::Kind::Object); }
  bool start_array(std::size_t) override { return open(JsonValue::Kind::Array); }
  bool end_object(std::size_t) override { return close(); }
  bool end_array(std::size_t) override { return close(); }

 private:
  bool open(JsonValue::Kind kind) {
    JsonValue v;
    v.kind = kind;
    if (!place(std::move(v))) return false;
    return true;
  }
  bool close() {
    path_.pop_back();
    return true;
  }
  // Puts a value at the current position; containers become the new position.
  bool place(JsonValue value) {
    const bool container = value.kind == JsonValue::Kind::Array || value.kind == JsonValue::Kind::Object;
    JsonValue* slot = nullptr;
    if (path_.empty()) {
      root = std::move(value);
      slot = &root;
    } else if (JsonValue& parent = *path_.back(); parent.kind == JsonValue::Kind::Array) {
      parent.items.push_back(std::move(value));
      slot = &parent.items.back();
    } else {
      slot = &(parent.members[keys_.back()] = std::move(value));
      keys_.pop_back();
    }
    if (container) path_.push_back(slot);
    return true;
  }

  // Pointers into the tree stay valid: a container is only appended to while
  // it is the innermost open one, and its earlier children are closed.
  std::vector<JsonValue*> path_;
  std::vector<std::string> keys_;
};

}  // namespace detail

// The tree of a JSON text, or nothing when it is not well formed.
inline std::optional<JsonValue> parse_json(std::string_view text) {
  detail::TreeSink sink;
  if (formats::json_syntax::parse(text, sink)) return std::nullopt;
  return std::move(sink.root);
}

}  // namespace tessara::testing
