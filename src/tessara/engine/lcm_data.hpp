#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/sparse_incidence.hpp"

namespace tessara::engine {

// The read-only input of the LCM-class walk, built once per run from the
// sparse incidence: the items renamed by ascending frequency (ties by
// attribute index), so the rare items, whose conditional databases are
// small, come first, and every row as its renamed items in ascending order.
// Safe to read from many threads.
class LcmData {
 public:
  // The least number of crosses for which renaming the rows on a second
  // thread pays for starting it.
  static constexpr std::uint64_t kSplitFrom = std::uint64_t{1} << 18;

  // With threads > 1 and at least split_from crosses, the rows are renamed
  // in two halves at once (the result is the same), and a walk builds a
  // database of at least split_from crosses on two threads.
  explicit LcmData(const core::SparseIncidence& incidence, unsigned threads = 1,
                   std::uint64_t split_from = kSplitFrom);

  std::uint32_t n_objects() const noexcept { return n_objects_; }
  std::uint32_t n_items() const noexcept { return n_items_; }

  // The attribute an item renames, and the item an attribute is renamed to.
  std::uint32_t attribute_of(std::uint32_t item) const noexcept { return attribute_of_[item]; }
  std::uint32_t item_of(std::uint32_t attribute) const noexcept { return item_of_[attribute]; }

  // The items of object g, ascending.
  std::span<const std::uint32_t> row(std::uint32_t g) const noexcept {
    return {row_items_.data() + row_offsets_[g], row_items_.data() + row_offsets_[g + 1]};
  }

  // Whether a database of `crosses` crosses is worth building on two threads.
  bool splits(std::uint64_t crosses) const noexcept { return threads_ > 1 && crosses >= split_from_; }

  // Whether some object has every attribute (then no concept has an empty extent
  // unless the context has no objects).
  bool some_row_full() const noexcept { return some_row_full_; }

 private:
  std::uint32_t n_objects_ = 0;
  std::uint32_t n_items_ = 0;
  std::vector<std::uint32_t> attribute_of_;
  std::vector<std::uint32_t> item_of_;
  std::vector<std::uint64_t> row_offsets_;
  std::vector<std::uint32_t> row_items_;
  bool some_row_full_ = false;
  unsigned threads_ = 1;
  std::uint64_t split_from_ = kSplitFrom;

  // Renames the rows of objects [first, last) (their places in row_items_
  // are theirs alone, so two calls on disjoint ranges may run at once).
  void rename_rows(const core::SparseIncidence& incidence, std::uint32_t first, std::uint32_t last);
};

}  // namespace tessara::engine
