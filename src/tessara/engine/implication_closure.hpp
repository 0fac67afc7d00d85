#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/engine/implication_list.hpp"

namespace tessara::engine {

// LinClosure (Beeri and Bernstein): the closure of an attribute set under a
// set of implications, in time linear in the size of the implications the
// closure touches. Each attribute lists the implications whose premise holds
// it; each implication counts the premise attributes the set still lacks, and
// fires its conclusion when the count reaches zero. Counters are reset lazily
// by a call stamp, so a call costs what it visits, not the number of
// implications, and allocates nothing once the buffers have grown.
//
// The list can grow (append), implications can be switched off and on, and a
// conclusion can be replaced (the index depends on premises only): what the
// minimum-cover and canonical-base passes need.
class ImplicationClosure {
 public:
  using Word = ImplicationList::Word;

  explicit ImplicationClosure(std::uint64_t n_attributes);
  explicit ImplicationClosure(const ImplicationList& implications);

  std::uint64_t n_attributes() const noexcept { return n_attributes_; }
  std::size_t stride() const noexcept { return stride_; }
  std::size_t size() const noexcept { return needed_.size(); }
  std::span<const Word> premise(std::size_t k) const noexcept { return {premises_.data() + k * stride_, stride_}; }
  std::span<const Word> conclusion(std::size_t k) const noexcept {
    return {conclusions_.data() + k * stride_, stride_};
  }
  bool active(std::size_t k) const noexcept { return active_[k] != 0; }

  void append(std::span<const Word> premise, std::span<const Word> conclusion);
  void set_active(std::size_t k, bool on) noexcept { active_[k] = on ? 1 : 0; }
  void set_conclusion(std::size_t k, std::span<const Word> conclusion) noexcept;

  // What a call may skip or stop at.
  struct Limits {
    // Stop as soon as the set holds every attribute of `target` (empty: close fully).
    std::span<const Word> target{};
    // Do not fire implications whose conclusion equals this set (empty: fire all).
    std::span<const Word> skip_conclusion{};
  };

  // Closes `set` (stride words) in place. Returns true when the set holds the
  // target (always true without one).
  bool close(std::span<Word> set, Limits limits);
  bool close(std::span<Word> set) { return close(set, Limits{}); }

 private:
  bool fire(std::size_t k, std::span<Word> set, const Limits& limits);
  bool reached(std::span<const Word> set, const Limits& limits) const noexcept;

  std::uint64_t n_attributes_;
  std::size_t stride_;
  std::vector<Word> premises_;
  std::vector<Word> conclusions_;
  std::vector<std::uint32_t> needed_;                 // premise sizes
  std::vector<std::uint8_t> active_;
  std::vector<std::uint32_t> unconditional_;          // implications with an empty premise
  std::vector<std::vector<std::uint32_t>> watchers_;  // per attribute: implications whose premise holds it
  // Per call: the missing premise attributes of each implication touched in
  // the call whose stamp equals the call's.
  std::vector<std::uint32_t> missing_;
  std::vector<std::uint64_t> stamp_;
  std::uint64_t call_ = 0;
  std::vector<std::uint32_t> queue_;
};

}  // namespace tessara::engine
