#include "tessara/engine/watched_closure.hpp"

#include <bit>

#include "tessara/core/fault.hpp"

namespace tessara::engine {
namespace {

constexpr std::size_t kWordBits = 64;

constexpr WatchedClosure::Word bit_of(std::uint32_t i) noexcept { return WatchedClosure::Word{1} << (i % kWordBits); }

std::uint32_t index_of(std::size_t word, WatchedClosure::Word bits) noexcept {
  return static_cast<std::uint32_t>(word * kWordBits + static_cast<std::size_t>(std::countr_zero(bits)));
}

}  // namespace

WatchedClosure::WatchedClosure(std::uint64_t n_attributes)
    : stride_((n_attributes + kWordBits - 1) / kWordBits), watchers_(n_attributes) {
  queue_.reserve(n_attributes);
}

void WatchedClosure::append(std::span<const Word> premise, std::span<const Word> conclusion, std::uint64_t support,
                            std::uint32_t watch) {
  if (premise.size() != stride_ || conclusion.size() != stride_)
    throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  const auto k = static_cast<std::uint32_t>(size());
  premises_.insert(premises_.end(), premise.begin(), premise.end());
  conclusions_.insert(conclusions_.end(), conclusion.begin(), conclusion.end());
  supports_.push_back(support);
  if (watch != kNoWatch) watchers_[watch].push_back(k);
}

bool WatchedClosure::move_watch(std::uint32_t k, std::span<const Word> set) {
  const Word* premise = premises_.data() + k * stride_;
  for (std::size_t w = 0; w < stride_; ++w) {
    const Word missing = premise[w] & ~set[w];
    if (missing == 0) continue;
    watchers_[index_of(w, missing)].push_back(k);
    return true;
  }
  return false;
}

void WatchedClosure::watch_past(std::span<const Word> set, std::span<const Word> added) {
  for (std::size_t w = 0; w < stride_; ++w) {
    for (Word bits = added[w]; bits != 0; bits &= bits - 1) {
      std::vector<std::uint32_t>& list = watchers_[index_of(w, bits)];
      std::size_t kept = 0;
      for (const std::uint32_t k : list)
        if (!move_watch(k, set)) list[kept++] = k;
      list.resize(kept);
    }
  }
}

bool WatchedClosure::close_with(std::span<Word> set, std::uint32_t j, std::uint32_t& below) {
  const std::size_t j_word = j / kWordBits;
  const Word below_j = bit_of(j) - 1;
  set[j_word] |= bit_of(j);
  queue_.clear();
  queue_.push_back(j);
  for (std::size_t next = 0; next < queue_.size(); ++next) {
    std::vector<std::uint32_t>& list = watchers_[queue_[next]];
    std::size_t kept = 0;
    for (std::size_t p = 0; p < list.size(); ++p) {
      const std::uint32_t k = list[p];
      if (move_watch(k, set)) continue;
      list[kept++] = k;
      // The premise lies in the set: the conclusion joins it. A new attribute
      // below j means the closure fails the canonicity test.
      const Word* adds = conclusions_.data() + k * stride_;
      for (std::size_t w = 0; w <= j_word; ++w) {
        const Word fresh = adds[w] & ~set[w] & (w == j_word ? below_j : ~Word{0});
        if (fresh == 0) continue;
        below = index_of(w, fresh);
        // The entries not yet visited keep watching this attribute.
        for (++p; p < list.size(); ++p) list[kept++] = list[p];
        list.resize(kept);
        return false;
      }
      for (std::size_t w = j_word; w < stride_; ++w) {
        const Word fresh = adds[w] & ~set[w];
        set[w] |= fresh;
        for (Word bits = fresh; bits != 0; bits &= bits - 1) queue_.push_back(index_of(w, bits));
      }
    }
    list.resize(kept);
  }
  return true;
}

}  // namespace tessara::engine
