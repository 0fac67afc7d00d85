#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "tessara/core/fault.hpp"
#include "tessara/core/popcount.hpp"
#include "tessara/core/sets.hpp"

namespace tessara::core {

// A read-only look at an extent or an intent as a ConceptList stores it:
// either its packed words (as in IndexSet), or the list of its members in
// ascending order, packed several to a word (bit k * member_bits of the word
// onward holds the k-th member of the word). It owns nothing and must not
// outlive the list.
template <typename Tag>
class StoredSetView {
 public:
  using Word = std::uint64_t;

  StoredSetView() = default;
  // member_bits is 0 for packed words, else 16 or 32.
  StoredSetView(const Word* stored, std::uint64_t count, std::uint64_t capacity, unsigned member_bits) noexcept
      : stored_(stored), count_(count), capacity_(capacity), member_bits_(member_bits) {}

  std::uint64_t capacity() const noexcept { return capacity_; }
  std::uint64_t count() const noexcept { return count_; }
  bool is_empty() const noexcept { return count_ == 0; }
  // True when the members are stored as a list rather than as packed words.
  bool is_listed() const noexcept { return member_bits_ != 0; }

  // Whether `index` is a member: a bit test on packed words, a binary search on a list.
  bool contains(std::uint64_t index) const noexcept {
    if (index >= capacity_) return false;
    if (member_bits_ == 0) return ((stored_[index / 64] >> (index % 64)) & 1u) != 0;
    std::uint64_t lo = 0;
    std::uint64_t hi = count_;
    while (lo < hi) {
      const std::uint64_t mid = lo + (hi - lo) / 2;
      const std::uint64_t at = member_at(mid);
      if (at == index) return true;
      if (at < index) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return false;
  }

  // Whether every member of this set is a member of `other` (same capacity):
  // word by word when both are packed, else by looking up each listed member.
  bool is_subset_of(const StoredSetView& other) const {
    if (capacity_ != other.capacity_) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    if (count_ > other.count_) return false;
    if (member_bits_ == 0 && other.member_bits_ == 0) {
      const std::size_t words = IndexSet<Tag>::word_count(capacity_);
      for (std::size_t w = 0; w < words; ++w)
        if ((stored_[w] & ~other.stored_[w]) != 0) return false;
      return true;
    }
    if (member_bits_ == 0) {
      bool inside = true;
      for_each_member([&](std::uint32_t m) { inside = inside && other.contains(m); });
      return inside;
    }
    for (std::uint64_t k = 0; k < count_; ++k)
      if (!other.contains(member_at(k))) return false;
    return true;
  }

  // Calls visit(g) for every member g of the set, ascending.
  template <typename Visit>
  void for_each_member(Visit&& visit) const {
    if (member_bits_ == 16) return for_each_listed<16>(visit);
    if (member_bits_ == 32) return for_each_listed<32>(visit);
    for_each_bit(std::span<const Word>(stored_, IndexSet<Tag>::word_count(capacity_)), visit);
  }

  std::vector<std::uint32_t> members() const {
    std::vector<std::uint32_t> out;
    out.reserve(count_);
    for_each_member([&out](std::uint32_t g) { out.push_back(g); });
    return out;
  }

  // Writes the set as packed words; out holds IndexSet<Tag>::word_count(capacity()) of them.
  void write_words(std::span<Word> out) const {
    const std::size_t words = IndexSet<Tag>::word_count(capacity_);
    if (out.size() != words) throw InternalFault(fault_text::kSetCapacitiesDiffer);
    if (!is_listed()) {
      for (std::size_t w = 0; w < words; ++w) out[w] = stored_[w];
      return;
    }
    for (Word& word : out) word = 0;
    for_each_member([&out](std::uint32_t g) { out[g / 64] |= Word{1} << (g % 64); });
  }

  // An owning copy.
  IndexSet<Tag> to_set() const {
    IndexSet<Tag> set = IndexSet<Tag>::empty(capacity_);
    write_words(set.mutable_words());
    return set;
  }

  friend bool operator==(const StoredSetView& a, const StoredSetView& b) {
    if (a.capacity_ != b.capacity_ || a.count_ != b.count_) return false;
    if (a.member_bits_ == b.member_bits_) {
      const std::size_t words =
          a.is_listed() ? (a.count_ * a.member_bits_ + 63) / 64 : IndexSet<Tag>::word_count(a.capacity_);
      for (std::size_t w = 0; w < words; ++w)
        if (a.stored_[w] != b.stored_[w]) return false;
      return true;
    }
    return a.to_set() == b.to_set();
  }
  friend bool operator==(const StoredSetView& a, const IndexSet<Tag>& b) {
    return a.capacity_ == b.capacity() && a.count_ == b.count() && a.to_set() == b;
  }

 private:
  // Member k of a listed set.
  std::uint64_t member_at(std::uint64_t k) const noexcept {
    const unsigned per_word = 64 / member_bits_;
    const Word mask = (Word{1} << member_bits_) - 1;
    return (stored_[k / per_word] >> ((k % per_word) * member_bits_)) & mask;
  }

  template <unsigned Bits, typename Visit>
  void for_each_listed(Visit& visit) const {
    constexpr unsigned kPerWord = 64 / Bits;
    constexpr Word kMask = (Word{1} << Bits) - 1;
    const std::uint64_t full_words = count_ / kPerWord;
    for (std::uint64_t w = 0; w < full_words; ++w) {
      Word word = stored_[w];
      for (unsigned k = 0; k < kPerWord; ++k, word >>= Bits) visit(static_cast<std::uint32_t>(word & kMask));
    }
    Word word = count_ % kPerWord == 0 ? 0 : stored_[full_words];
    for (unsigned k = 0; k < count_ % kPerWord; ++k, word >>= Bits) visit(static_cast<std::uint32_t>(word & kMask));
  }

  const Word* stored_ = nullptr;
  std::uint64_t count_ = 0;
  std::uint64_t capacity_ = 0;
  unsigned member_bits_ = 0;
};

// How a ConceptList chooses and writes the stored form of the extents (or
// the intents) of one context: the list whenever it takes fewer words than
// the packed form, its members 16 bits each when every index fits and 32
// bits otherwise. The choice follows from the set's size alone, so equal
// sets are always stored alike. Under kListedFrom packed words (448 members
// or fewer) a list saves too little to pay for the size and position a
// record of varying length has to keep, and every set stays packed.
template <typename Tag>
class SetCoding {
 public:
  using Word = std::uint64_t;
  static constexpr std::size_t kListedFrom = 8;

  SetCoding() = default;
  explicit SetCoding(std::uint64_t capacity) noexcept
      : capacity_(capacity),
        packed_words_(IndexSet<Tag>::word_count(capacity)),
        member_bits_(capacity <= (std::uint64_t{1} << 16) ? 16 : 32) {}

  std::uint64_t capacity() const noexcept { return capacity_; }
  // The words of a set in packed form.
  std::size_t packed_words() const noexcept { return packed_words_; }

  // Whether some set of this context is stored as a list.
  bool may_list() const noexcept { return packed_words_ >= kListedFrom; }
  // Whether a set of `count` members is stored as a list.
  bool lists(std::uint64_t count) const noexcept { return may_list() && list_words(count) < packed_words_; }
  // The words a set of `count` members takes.
  std::size_t stored_words(std::uint64_t count) const noexcept {
    return lists(count) ? list_words(count) : packed_words_;
  }

  // Writes the stored form (stored_words(count) words) of the set with
  // `count` members whose packed words are zero except for `words`, which
  // start at packed word `first_word`.
  void encode(std::size_t first_word, std::span<const Word> words, std::uint64_t count, Word* out) const noexcept {
    if (!lists(count)) {
      for (std::size_t w = 0; w < first_word; ++w) out[w] = 0;
      for (std::size_t w = 0; w < words.size(); ++w) out[first_word + w] = words[w];
      for (std::size_t w = first_word + words.size(); w < packed_words_; ++w) out[w] = 0;
    } else if (member_bits_ == 16) {
      encode_list<16>(first_word, words, out);
    } else {
      encode_list<32>(first_word, words, out);
    }
  }

  // Writes the stored form (stored_words(members.size()) words) of the
  // set whose members are `members`, ascending: what encode writes for the
  // same set, for a walk that holds its sets as lists.
  void encode_members(std::span<const std::uint32_t> members, Word* out) const noexcept {
    if (!lists(members.size())) {
      for (std::size_t w = 0; w < packed_words_; ++w) out[w] = 0;
      for (const std::uint32_t g : members) out[g / 64] |= Word{1} << (g % 64);
      return;
    }
    const unsigned per_word = 64 / member_bits_;
    Word pending = 0;
    unsigned filled = 0;
    for (const std::uint32_t g : members) {
      pending |= Word{g} << (filled * member_bits_);
      if (++filled == per_word) {
        *out++ = pending;
        pending = 0;
        filled = 0;
      }
    }
    if (filled != 0) *out = pending;
  }

  StoredSetView<Tag> view(const Word* stored, std::uint64_t count) const noexcept {
    return StoredSetView<Tag>(stored, count, capacity_, lists(count) ? member_bits_ : 0);
  }

  // Sets `members` to the members of the packed `words`, ascending, with the
  // same skip over empty words that encode uses.
  static void collect_members(std::span<const Word> words, std::vector<std::uint32_t>& members) {
    members.clear();
    for_each_member(words, [&members](const Word position) { members.push_back(static_cast<std::uint32_t>(position)); });
  }

 private:
  std::size_t list_words(std::uint64_t count) const noexcept { return (count * member_bits_ + 63) / 64; }

  // Calls visit(position) for every set bit of `words`, ascending. The words
  // of a small set are mostly empty, and which ones are is unpredictable, so
  // a branch per word costs more than the work: each block of words is first
  // reduced to the positions of its non-empty words without a branch, and
  // only those are visited.
  template <typename Visit>
  static void for_each_member(std::span<const Word> words, Visit&& visit) {
    std::array<std::uint32_t, 256> nonzero;
    for (std::size_t block = 0; block < words.size(); block += nonzero.size()) {
      const std::size_t end = std::min(words.size(), block + nonzero.size());
      std::size_t found = 0;
      for (std::size_t w = block; w < end; ++w) {
        nonzero[found] = static_cast<std::uint32_t>(w);
        found += words[w] != 0 ? 1 : 0;
      }
      for (std::size_t f = 0; f < found; ++f) {
        const std::size_t w = nonzero[f];
        const Word base = Word{w} * 64;
        for (Word bits = words[w]; bits != 0; bits &= bits - 1) visit(base + static_cast<Word>(std::countr_zero(bits)));
      }
    }
  }

  // Member k goes to bits (k % per word) * Bits of list word k / per word.
  // Members are gathered in a register and stored a full word at a time.
  template <unsigned Bits>
  static void encode_list(std::size_t first_word, std::span<const Word> words, Word* out) noexcept {
    constexpr unsigned kPerWord = 64 / Bits;
    const Word offset = Word{first_word} * 64;
    Word pending = 0;
    unsigned filled = 0;
    for_each_member(words, [&](const Word position) noexcept {
      pending |= (offset + position) << (filled * Bits);
      if (++filled == kPerWord) {
        *out++ = pending;
        pending = 0;
        filled = 0;
      }
    });
    if (filled != 0) *out = pending;
  }

  std::uint64_t capacity_ = 0;
  std::size_t packed_words_ = 0;
  unsigned member_bits_ = 16;
};

using ExtentView = StoredSetView<ObjectTag>;
using IntentView = StoredSetView<AttributeTag>;
using ExtentCoding = SetCoding<ObjectTag>;
using IntentCoding = SetCoding<AttributeTag>;

}  // namespace tessara::core
