#include "tessara/engine/lin_closure.hpp"

#include <bit>

#include "tessara/core/fault.hpp"

namespace tessara::engine {
namespace {

constexpr std::size_t kWordBits = 64;

constexpr LinClosure::Word bit_of(std::uint32_t i) noexcept { return LinClosure::Word{1} << (i % kWordBits); }

}  // namespace

LinClosure::LinClosure(std::uint64_t n_attributes)
    : stride_((n_attributes + kWordBits - 1) / kWordBits), premises_with_(n_attributes) {
  queue_.reserve(n_attributes);
}

void LinClosure::append(std::span<const Word> premise, std::span<const Word> conclusion, std::uint64_t support) {
  if (premise.size() != stride_ || conclusion.size() != stride_)
    throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  const auto k = static_cast<std::uint32_t>(size());
  premises_.insert(premises_.end(), premise.begin(), premise.end());
  conclusions_.insert(conclusions_.end(), conclusion.begin(), conclusion.end());
  supports_.push_back(support);
  missing_.push_back(0);
  for (std::size_t w = 0; w < stride_; ++w)
    for (Word word = premise[w]; word != 0; word &= word - 1)
      premises_with_[w * kWordBits + static_cast<std::size_t>(std::countr_zero(word))].push_back(k);
}

void LinClosure::add_without_firing(std::uint32_t a) {
  const std::vector<std::uint32_t>& list = premises_with_[a];
  for (const std::uint32_t k : list) --missing_[k];
  log_.push_back(Added{a, static_cast<std::uint32_t>(list.size())});
}

bool LinClosure::close_with(std::span<Word> set, std::uint32_t j, std::uint32_t& below) {
  const std::size_t j_word = j / kWordBits;
  const Word below_j = bit_of(j) - 1;
  set[j_word] |= bit_of(j);
  queue_.clear();
  queue_.push_back(j);
  for (std::size_t next = 0; next < queue_.size(); ++next) {
    const std::uint32_t a = queue_[next];
    const std::vector<std::uint32_t>& list = premises_with_[a];
    const std::size_t length = list.size();
    for (std::size_t p = 0; p < length; ++p) {
      const std::uint32_t k = list[p];
      if (--missing_[k] != 0) continue;
      const Word* adds = conclusions_.data() + k * stride_;
      // A new attribute below j means the closure fails the canonicity test.
      for (std::size_t w = 0; w <= j_word; ++w) {
        const Word fresh = adds[w] & ~set[w] & (w == j_word ? below_j : ~Word{0});
        if (fresh == 0) continue;
        below = static_cast<std::uint32_t>(w * kWordBits + static_cast<std::size_t>(std::countr_zero(fresh)));
        log_.push_back(Added{a, static_cast<std::uint32_t>(p + 1)});
        return false;
      }
      for (std::size_t w = j_word; w < stride_; ++w) {
        const Word fresh = adds[w] & ~set[w];
        if (fresh == 0) continue;
        set[w] |= fresh;
        for (Word word = fresh; word != 0; word &= word - 1)
          queue_.push_back(static_cast<std::uint32_t>(w * kWordBits + static_cast<std::size_t>(std::countr_zero(word))));
      }
    }
    log_.push_back(Added{a, static_cast<std::uint32_t>(length)});
  }
  return true;
}

void LinClosure::undo_to(std::size_t mark) noexcept {
  while (log_.size() > mark) {
    const Added added = log_.back();
    log_.pop_back();
    const std::uint32_t* list = premises_with_[added.attribute].data();
    for (std::uint32_t p = 0; p < added.counted; ++p) ++missing_[list[p]];
  }
}

void LinClosure::refresh(std::size_t first, std::span<const Word> set) noexcept {
  for (std::size_t k = first; k < size(); ++k) {
    const Word* premise = premises_.data() + k * stride_;
    std::uint32_t missing = 0;
    for (std::size_t w = 0; w < stride_; ++w) missing += static_cast<std::uint32_t>(std::popcount(premise[w] & ~set[w]));
    missing_[k] = missing;
  }
}

}  // namespace tessara::engine
