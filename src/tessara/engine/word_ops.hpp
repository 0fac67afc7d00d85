#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// Word loops shared by the enumeration kernels. Sets are raw runs of packed
// 64-bit words; a half-open word range [lo, hi) says where a set can have
// members, so loops over an extent skip the words known to be zero.
namespace tessara::engine::words {

using Word = std::uint64_t;

// Where a set has members: words outside [lo, hi) are zero; lo == hi when the set is empty.
struct Range {
  std::size_t lo;
  std::size_t hi;

  bool empty() const noexcept { return lo == hi; }
};

inline Range nonzero_range(const Word* set, std::size_t lo, std::size_t hi) noexcept {
  while (lo < hi && set[lo] == 0) ++lo;
  while (hi > lo && set[hi - 1] == 0) --hi;
  return Range{lo, hi};
}

inline bool has_bit(const Word* set, std::uint64_t i) noexcept { return ((set[i / 64] >> (i % 64)) & 1u) != 0; }
inline void set_bit(Word* set, std::uint64_t i) noexcept { set[i / 64] |= Word{1} << (i % 64); }

// The bits below position `end` of word w (all of them for words wholly below end).
inline Word below_mask(std::size_t w, std::uint64_t end) noexcept {
  const std::uint64_t first = std::uint64_t{w} * 64;
  if (end >= first + 64) return ~Word{0};
  if (end <= first) return 0;
  return (Word{1} << (end - first)) - 1;
}

// The bits at or above position `begin` of word w.
inline Word from_mask(std::size_t w, std::uint64_t begin) noexcept { return ~below_mask(w, begin); }

// True when every member of x inside `range` is in y (x has no members outside it).
inline bool subset_in(const Word* x, const Word* y, Range range) noexcept {
  for (std::size_t w = range.lo; w < range.hi; ++w)
    if ((x[w] & ~y[w]) != 0) return false;
  return true;
}

// out = a & column inside `range` (a has no members outside it); the words of
// out outside the range are left as they are. Returns true when out equals a
// there (the column holds all of a).
inline bool intersect_in(Word* out, const Word* a, const Word* column, Range range) noexcept {
  Word lost = 0;
  for (std::size_t w = range.lo; w < range.hi; ++w) {
    const Word kept = a[w] & column[w];
    lost |= a[w] ^ kept;
    out[w] = kept;
  }
  return lost == 0;
}

// out = the `width` words of a set whose members all lie in `range` of `in`.
inline void copy_spread(Word* out, const Word* in, Range range, std::size_t width) noexcept {
  for (std::size_t w = 0; w < range.lo; ++w) out[w] = 0;
  for (std::size_t w = range.lo; w < range.hi; ++w) out[w] = in[w];
  for (std::size_t w = range.hi; w < width; ++w) out[w] = 0;
}

// The number of members inside `range`.
inline std::uint64_t count_in(const Word* set, Range range) noexcept {
  std::uint64_t members = 0;
  for (std::size_t w = range.lo; w < range.hi; ++w) members += static_cast<std::uint64_t>(std::popcount(set[w]));
  return members;
}

// objects = the members of the set, ascending; picked gets room for as many
// (the buffer a candidate's objects are filtered into).
inline void list_members(const Word* set, Range range, std::vector<std::uint32_t>& objects,
                         std::vector<std::uint32_t>& picked) {
  objects.clear();
  for (std::size_t w = range.lo; w < range.hi; ++w) {
    Word bits = set[w];
    while (bits != 0) {
      objects.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
      bits &= bits - 1;
    }
  }
  if (picked.size() < objects.size()) picked.resize(objects.size());
}

// The words of the listed objects (ascending) inside the returned range; the
// words outside it are left as they are.
inline Range write_listed(const std::uint32_t* objects, std::size_t count, Word* set) noexcept {
  if (count == 0) return Range{0, 0};
  const Range range{objects[0] / 64, objects[count - 1] / 64 + std::size_t{1}};
  for (std::size_t w = range.lo; w < range.hi; ++w) set[w] = 0;
  for (std::size_t k = 0; k < count; ++k) set_bit(set, objects[k]);
  return range;
}

// Keeps the listed objects that `column` holds, in order, in `picked`; returns how many.
inline std::size_t filter_listed(const std::vector<std::uint32_t>& objects, const Word* column,
                                 std::vector<std::uint32_t>& picked) noexcept {
  std::size_t count = 0;
  for (const std::uint32_t g : objects) {
    picked[count] = g;
    count += has_bit(column, g) ? 1 : 0;
  }
  return count;
}

inline void copy(Word* out, const Word* in, std::size_t width) noexcept {
  for (std::size_t w = 0; w < width; ++w) out[w] = in[w];
}

}  // namespace tessara::engine::words
