#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tessara/python/python.hpp"

namespace tessara::lab {

// The tuple already made for a set, so that a column of millions of sets
// that repeat (the premises of every rule share a few thousand intents)
// holds one tuple per distinct set: far fewer objects to make, and to free
// when Ctrl-C abandons the column half-made. A set is its key: packed words
// (uint64) or a member list (uint32), of any length.
//
// Open addressing over the keys, kept end to end in one array; the tuples
// are borrowed from the column being built, which outlives the cache.
template <typename Element>
class SetTupleCache {
 public:
  using Key = std::span<const Element>;

  SetTupleCache() {
    slots_.assign(kFirstSlots, kEmpty);
    key_begin_.push_back(0);
  }

  // The tuple of `set`, or nullptr when it is not cached yet.
  // Columns whose sets seldom repeat (a lattice's keys are all distinct) would
  // pay for the table and gain nothing: at every doubling of the sets looked
  // up, past the first hundred thousand or so, the cache gives up when fewer than a
  // quarter of them were found.
  PyObject* find(Key set) {
    if (!in_use_) return nullptr;
    if (++looked_up_ == next_review_) {
      next_review_ *= 2;
      if (4 * found_ < looked_up_) {
        in_use_ = false;
        return nullptr;
      }
    }
    PyObject* tuple = lookup(set);
    found_ += tuple != nullptr ? 1 : 0;
    return tuple;
  }

  // Remembers `tuple` as the one of `set`, which find() has just missed.
  void add(Key set, PyObject* tuple) {
    if (!in_use_) return;
    if (tuples_.size() + 1 >= kEmpty) return;  // past four billion sets, the rest go uncached
    if (2 * (tuples_.size() + 1) > slots_.size()) grow();
    const auto entry = static_cast<std::uint32_t>(tuples_.size());
    keys_.insert(keys_.end(), set.begin(), set.end());
    key_begin_.push_back(keys_.size());
    tuples_.push_back(tuple);
    place(entry);
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  static constexpr std::size_t kFirstSlots = 1024;
  static constexpr std::size_t kFirstReview = std::size_t{1} << 17;

  PyObject* lookup(Key set) const {
    for (std::size_t slot = hash(set) & mask(); slots_[slot] != kEmpty; slot = (slot + 1) & mask())
      if (std::ranges::equal(key_of(slots_[slot]), set)) return tuples_[slots_[slot]];
    return nullptr;
  }

  std::size_t mask() const noexcept { return slots_.size() - 1; }

  Key key_of(std::uint32_t entry) const noexcept {
    return Key(keys_.data() + key_begin_[entry], key_begin_[entry + 1] - key_begin_[entry]);
  }

  // splitmix64's finaliser over the elements, and the length: neighbouring
  // sets land far apart.
  static std::size_t hash(Key set) noexcept {
    std::uint64_t h = set.size();
    for (const Element element : set) {
      h += static_cast<std::uint64_t>(element) + 0x9E3779B97F4A7C15ULL;
      h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
      h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
      h ^= h >> 31;
    }
    return static_cast<std::size_t>(h);
  }

  void place(std::uint32_t entry) {
    std::size_t slot = hash(key_of(entry)) & mask();
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask();
    slots_[slot] = entry;
  }

  void grow() {
    slots_.assign(2 * slots_.size(), kEmpty);
    for (std::uint32_t entry = 0; entry < tuples_.size(); ++entry) place(entry);
  }

  bool in_use_ = true;
  std::size_t looked_up_ = 0;
  std::size_t found_ = 0;
  std::size_t next_review_ = kFirstReview;
  std::vector<std::uint32_t> slots_;
  std::vector<Element> keys_;
  std::vector<std::size_t> key_begin_;  // tuples_.size() + 1 offsets into keys_
  std::vector<PyObject*> tuples_;
};

}  // namespace tessara::lab
