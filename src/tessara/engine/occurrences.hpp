#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/context.hpp"

// Occurrence delivery for extents with few objects: the rows as attribute
// lists, and one pass over a listed extent's rows that sorts its objects into
// one bucket per attribute (the extent's intersection with every column at
// once). On sparse data this costs the extent's incidences, where
// intersecting column by column costs the number of attributes times the
// extent's size or words.
namespace tessara::engine {

// The rows of a context as ascending attribute lists (offsets into one array).
class AttributeLists {
 public:
  AttributeLists() = default;  // no rows
  explicit AttributeLists(const core::Context& context) {
    offsets_.reserve(context.n_objects() + 1);
    offsets_.push_back(0);
    for (const core::AttributeSet& row : context.rows()) {
      row.for_each_member([&](std::uint32_t m) { attributes_.push_back(m); });
      offsets_.push_back(attributes_.size());
    }
    mean_ = context.n_objects() == 0 ? 0.0
                                     : static_cast<double>(attributes_.size()) / static_cast<double>(context.n_objects());
  }

  // The attributes of object g from `start` on.
  std::span<const std::uint32_t> row_from(std::uint32_t g, std::uint64_t start) const noexcept {
    const std::uint32_t* first = attributes_.data() + offsets_[g];
    const std::uint32_t* last = attributes_.data() + offsets_[g + 1];
    if (start > 0) first = std::lower_bound(first, last, static_cast<std::uint32_t>(start));
    return {first, last};
  }

  // The mean number of attributes per object.
  double mean_row() const noexcept { return mean_; }

 private:
  std::vector<std::size_t> offsets_;
  std::vector<std::uint32_t> attributes_;
  double mean_ = 0.0;
};

// How a walk tries the candidates of one extent.
struct ListingChoice {
  bool listed;   // object by object rather than word by word
  bool deliver;  // listed, and the objects delivered into buckets rather than probed column by column
};

// An extent is listed when its objects' incidences cost less than its words
// times the attributes to try, or when it has far fewer objects than words;
// a listed extent is delivered when the attributes to try outnumber a row's
// attributes several times, since delivery reads each row twice at scattered
// places (the factors were measured on mushroom, the random 5,000 x 100 and
// the sparse transactions of the bench).
inline ListingChoice choose_listing(std::uint64_t members, std::uint64_t range_words, std::uint64_t tries,
                                    double mean_row) noexcept {
  constexpr double kDeliveryFactor = 8.0;
  const bool listed = members * 8 <= range_words ||
                      static_cast<double>(members) * mean_row < static_cast<double>(tries) * static_cast<double>(range_words);
  return ListingChoice{listed, listed && mean_row * kDeliveryFactor < static_cast<double>(tries)};
}

// The objects of a listed extent sorted into buckets by attribute.
class OccurrenceBuckets {
 public:
  // Bucket j (start <= j < n) = the listed objects having attribute j, ascending.
  void deliver(const AttributeLists& lists, std::span<const std::uint32_t> objects, std::uint64_t start,
               std::uint64_t n) {
    if (offsets_.size() < n + 1) offsets_.resize(n + 1);
    if (cursor_.size() < n) cursor_.resize(n);
    std::fill(offsets_.begin() + static_cast<std::ptrdiff_t>(start), offsets_.begin() + static_cast<std::ptrdiff_t>(n + 1),
              std::uint32_t{0});
    for (const std::uint32_t g : objects)
      for (const std::uint32_t j : lists.row_from(g, start)) ++offsets_[j + 1];
    for (std::uint64_t j = start; j < n; ++j) {
      offsets_[j + 1] += offsets_[j];
      cursor_[j] = offsets_[j];
    }
    if (objects_.size() < offsets_[n]) objects_.resize(offsets_[n]);
    for (const std::uint32_t g : objects)
      for (const std::uint32_t j : lists.row_from(g, start)) objects_[cursor_[j]++] = g;
  }

  std::span<const std::uint32_t> bucket(std::uint64_t j) const noexcept {
    return {objects_.data() + offsets_[j], objects_.data() + offsets_[j + 1]};
  }

 private:
  std::vector<std::uint32_t> offsets_;  // bucket j is [offsets_[j], offsets_[j + 1]); offsets_[start] = 0
  std::vector<std::uint32_t> cursor_;
  std::vector<std::uint32_t> objects_;
};

}  // namespace tessara::engine
