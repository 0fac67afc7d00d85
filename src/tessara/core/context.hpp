#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "tessara/core/sets.hpp"

namespace tessara::core {

// A row whose number of entries is not the number of attributes.
struct RowLength {
  std::uint64_t row;
  std::uint64_t found;
  std::uint64_t expected;
};

// An incidence that does not hold exactly one row per object.
struct RowCount {
  std::uint64_t rows;
  std::uint64_t objects;
};

class ContextError {
 public:
  using Variant = std::variant<RowLength, RowCount>;

  explicit ContextError(Variant variant) : variant_(variant) {}

  const Variant& variant() const noexcept { return variant_; }
  std::string message() const;

 private:
  Variant variant_;
};

// One incidence row as handed to the constructor: entry j says whether the
// object has attribute j.
using IncidenceRow = std::vector<bool>;

// A formal context: named objects, named attributes and one packed row of
// attributes per object. Immutable once built; copying makes a deep copy.
class Context {
 public:
  static std::expected<Context, ContextError> create(std::vector<std::string> objects,
                                                     std::vector<std::string> attributes,
                                                     std::vector<IncidenceRow> incidence);
  // The same from rows already packed (one AttributeSet per object); every row
  // must have one bit per attribute. For callers that hold packed incidence
  // (the lab's arrays) and would otherwise unpack it only to pack it again.
  static std::expected<Context, ContextError> from_rows(std::vector<std::string> objects,
                                                        std::vector<std::string> attributes,
                                                        std::vector<AttributeSet> rows);

  std::uint64_t n_objects() const noexcept { return objects_.size(); }
  std::uint64_t n_attributes() const noexcept { return attributes_.size(); }

  const std::string& object_name(std::uint64_t g) const;
  const std::string& attribute_name(std::uint64_t m) const;
  const std::vector<std::string>& objects() const noexcept { return objects_; }
  const std::vector<std::string>& attributes() const noexcept { return attributes_; }

  // The attributes of object g.
  const AttributeSet& row(std::uint64_t g) const;
  std::span<const AttributeSet> rows() const noexcept { return rows_; }

  // The objects that have every attribute of b.
  ObjectSet extent_of(const AttributeSet& b) const;
  // The attributes shared by every object of a.
  AttributeSet intent_of(const ObjectSet& a) const;

 private:
  Context(std::vector<std::string> objects, std::vector<std::string> attributes, std::vector<AttributeSet> rows)
      : objects_(std::move(objects)), attributes_(std::move(attributes)), rows_(std::move(rows)) {}

  std::vector<std::string> objects_;
  std::vector<std::string> attributes_;
  std::vector<AttributeSet> rows_;
};

}  // namespace tessara::core
