#include "tessara/engine/implication_closure.hpp"

#include <algorithm>
#include <bit>

#include "tessara/core/fault.hpp"

namespace tessara::engine {

ImplicationClosure::ImplicationClosure(std::uint64_t n_attributes)
    : n_attributes_(n_attributes), stride_(core::AttributeSet::word_count(n_attributes)), watchers_(n_attributes) {}

ImplicationClosure::ImplicationClosure(const ImplicationList& implications)
    : ImplicationClosure(implications.n_attributes) {
  const std::size_t n = implications.size();
  premises_.reserve(n * stride_);
  conclusions_.reserve(n * stride_);
  for (std::size_t k = 0; k < n; ++k) append(implications.premise(k), implications.conclusion(k));
}

void ImplicationClosure::append(std::span<const Word> premise, std::span<const Word> conclusion) {
  if (premise.size() != stride_ || conclusion.size() != stride_)
    throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  const auto k = static_cast<std::uint32_t>(needed_.size());
  premises_.insert(premises_.end(), premise.begin(), premise.end());
  conclusions_.insert(conclusions_.end(), conclusion.begin(), conclusion.end());
  std::uint32_t size = 0;
  for (std::size_t w = 0; w < stride_; ++w) {
    for (Word bits = premise[w]; bits != 0; bits &= bits - 1) {
      watchers_[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))].push_back(k);
      ++size;
    }
  }
  needed_.push_back(size);
  counters_.push_back(Counter{0, 0, size});
  if (size == 0) unconditional_.push_back(k);
}

void ImplicationClosure::set_conclusion(std::size_t k, std::span<const Word> conclusion) noexcept {
  std::copy(conclusion.begin(), conclusion.end(), conclusions_.begin() + static_cast<std::ptrdiff_t>(k * stride_));
}

bool ImplicationClosure::reached(std::span<const Word> set, const Limits& limits) const noexcept {
  if (limits.target.empty()) return false;
  for (std::size_t w = 0; w < stride_; ++w)
    if ((limits.target[w] & ~set[w]) != 0) return false;
  return true;
}

// Adds conclusion k to the set and queues the attributes it brings; true when
// the target is then reached.
bool ImplicationClosure::fire(std::size_t k, std::span<Word> set, const Limits& limits) {
  const Word* conclusion = conclusions_.data() + k * stride_;
  if (!limits.skip_conclusion.empty() &&
      std::equal(limits.skip_conclusion.begin(), limits.skip_conclusion.end(), conclusion))
    return false;
  bool grew = false;
  for (std::size_t w = 0; w < stride_; ++w) {
    const Word added = conclusion[w] & ~set[w];
    if (added == 0) continue;
    grew = true;
    set[w] |= added;
    members_ += static_cast<std::uint64_t>(std::popcount(added));
    for (Word bits = added; bits != 0; bits &= bits - 1)
      queue_.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
  }
  return grew && reached(set, limits);
}

bool ImplicationClosure::close(std::span<Word> set, Limits limits) {
  if (set.size() != stride_) throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  if (reached(set, limits)) return true;
  if (++call_ == 0) {  // the stamps wrapped: forget them all
    for (Counter& counter : counters_) counter.stamp = 0;
    call_ = 1;
  }
  queue_.clear();
  for (std::size_t w = 0; w < stride_; ++w)
    for (Word bits = set[w]; bits != 0; bits &= bits - 1)
      queue_.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
  members_ = queue_.size();
  for (const std::uint32_t k : unconditional_)
    if (active(k) && fire(k, set, limits)) return true;
  // The queue is read from the front while fire() appends to its back; once
  // the set holds every attribute nothing can be added.
  for (std::size_t next = 0; next < queue_.size() && members_ < n_attributes_; ++next) {
    for (const std::uint32_t k : watchers_[queue_[next]]) {
      Counter& counter = counters_[k];
      if (counter.stamp != call_) {
        counter.stamp = call_;
        counter.missing = counter.initial;
      }
      if (--counter.missing == 0 && fire(k, set, limits)) return true;
    }
  }
  return limits.target.empty();
}

}  // namespace tessara::engine
