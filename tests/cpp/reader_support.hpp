#pragma once

#include <expected>
#include <ostream>
#include <string>
#include <vector>

#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

// Helpers shared by the reader tests: a context as plain names and X/. rows,
// and the outcome of a read as either that table or the error's display text.
namespace tessara::test_support {

struct Table {
  std::vector<std::string> objects;
  std::vector<std::string> attributes;
  std::vector<std::string> rows;  // one "X.X" text per object

  friend bool operator==(const Table&, const Table&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Table& table) {
    out << "objects:";
    for (const auto& name : table.objects) out << " [" << name << "]";
    out << " attributes:";
    for (const auto& name : table.attributes) out << " [" << name << "]";
    out << " rows:";
    for (const auto& row : table.rows) out << " " << row;
    return out;
  }
};

inline Table table_of(const core::Context& context) {
  Table table{context.objects(), context.attributes(), {}};
  for (std::uint64_t g = 0; g < context.n_objects(); ++g) {
    std::string row;
    for (std::uint64_t m = 0; m < context.n_attributes(); ++m) row += context.row(g).contains(m) ? 'X' : '.';
    table.rows.push_back(row);
  }
  return table;
}

// The display text of the failure, or "" when the read succeeded.
inline std::string error_of(const std::expected<core::Context, formats::ParseError>& result) {
  return result ? std::string() : result.error().display();
}

}  // namespace tessara::test_support
