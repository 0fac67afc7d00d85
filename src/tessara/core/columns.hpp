#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/context.hpp"

namespace tessara::core {

// The vertical view of a context: one packed column of objects per attribute
// (the attribute's extent), all columns in one array. Built once per
// computation, so an attribute's extent is never rebuilt and A ∩ {j}' is one
// word-wise AND over words_per_column() words.
class AttributeColumns {
 public:
  using Word = std::uint64_t;

  AttributeColumns() = default;  // no columns
  explicit AttributeColumns(const Context& context);

  std::uint64_t n_objects() const noexcept { return n_objects_; }
  std::uint64_t n_attributes() const noexcept { return n_attributes_; }
  std::size_t words_per_column() const noexcept { return stride_; }

  // The objects having attribute j. Precondition: j < n_attributes().
  std::span<const Word> column(std::uint64_t j) const noexcept {
    return std::span<const Word>(words_.data() + j * stride_, stride_);
  }

 private:
  std::uint64_t n_objects_ = 0;
  std::uint64_t n_attributes_ = 0;
  std::size_t stride_ = 0;
  std::vector<Word> words_;
};

}  // namespace tessara::core
