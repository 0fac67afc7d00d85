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
  bool active(std::size_t k) const noexcept { return counters_[k].initial != kSwitchedOff; }

  void append(std::span<const Word> premise, std::span<const Word> conclusion);
  void set_active(std::size_t k, bool on) noexcept { counters_[k].initial = on ? needed_[k] : kSwitchedOff; }
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
  // What a switched-off implication starts counting from: more than any set
  // can hold, so its count never reaches zero.
  static constexpr std::uint32_t kSwitchedOff = 0xffffffffu;

  // Per implication, touched together on every visit: the premise attributes
  // the set still lacks (valid when `stamp` is the current call's), and what
  // a call starts from (the premise size, or kSwitchedOff).
  struct Counter {
    std::uint32_t missing = 0;
    std::uint32_t stamp = 0;
    std::uint32_t initial = 0;
  };

  std::vector<std::uint32_t> needed_;                 // premise sizes
  std::vector<std::uint32_t> unconditional_;          // implications with an empty premise
  std::vector<std::vector<std::uint32_t>> watchers_;  // per attribute: implications whose premise holds it
  std::vector<Counter> counters_;
  std::uint32_t call_ = 0;
  std::uint64_t members_ = 0;  // of the set being closed, to stop once it holds every attribute
  std::vector<std::uint32_t> queue_;
};

}  // namespace tessara::engine
