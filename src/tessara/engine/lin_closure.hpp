#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessara::engine {

// The implications found so far by the canonical-base walk, together with the
// LinClosure bookkeeping for one current attribute set C: per implication a
// counter of the premise attributes missing from C, and per attribute the
// implications whose premise contains it, in the order they were appended.
// Adding an attribute to C decrements the counters on its list; a counter
// reaching zero means the premise lies in C and the conclusion joins C. So a
// closure costs the total size of the lists it touches, never a pass over all
// implications.
//
// Every addition is logged, so the walk goes back to an earlier C exactly with
// undo_to(mark()). Implications appended while C was larger are not covered by
// the log: whoever returns to an older C calls refresh for them.
class LinClosure {
 public:
  using Word = std::uint64_t;

  explicit LinClosure(std::uint64_t n_attributes);

  std::size_t size() const noexcept { return supports_.size(); }
  std::size_t words_per_set() const noexcept { return stride_; }
  std::span<const Word> premise(std::size_t k) const noexcept { return {premises_.data() + k * stride_, stride_}; }
  std::span<const Word> conclusion(std::size_t k) const noexcept {
    return {conclusions_.data() + k * stride_, stride_};
  }
  std::uint64_t support(std::size_t k) const noexcept { return supports_[k]; }

  // Appends premise -> conclusion. The premise lies inside the current C, so
  // its counter starts at zero.
  void append(std::span<const Word> premise, std::span<const Word> conclusion, std::uint64_t support);

  // Adds attribute a, whose bit the caller has already set in C, counting it
  // off the premises that contain it without firing anything: for attributes
  // of a closed set whose conclusions are known to lie in C already.
  void add_without_firing(std::uint32_t a);

  // Closes `set` (= C, closed under the implications) with attribute j added:
  // sets j, then fires implications until nothing changes. Stops as soon as a
  // conclusion brings in an attribute below j that the set lacks, returns
  // false and puts the smallest such attribute into `below`; the set and the
  // counters are then partly updated and the caller undoes to its mark.
  bool close_with(std::span<Word> set, std::uint32_t j, std::uint32_t& below);

  std::size_t mark() const noexcept { return log_.size(); }
  // Takes back every addition logged after `mark`.
  void undo_to(std::size_t mark) noexcept;

  // Recomputes the counters of implications first .. size()-1 against `set`,
  // the C that the walk has gone back to.
  void refresh(std::size_t first, std::span<const Word> set) noexcept;

 private:
  // One addition: attribute a counted off the first `counted` entries of its list.
  struct Added {
    std::uint32_t attribute;
    std::uint32_t counted;
  };

  std::size_t stride_;
  std::vector<Word> premises_;
  std::vector<Word> conclusions_;
  std::vector<std::uint64_t> supports_;
  std::vector<std::uint32_t> missing_;                     // per implication
  std::vector<std::vector<std::uint32_t>> premises_with_;  // per attribute
  std::vector<Added> log_;
  std::vector<std::uint32_t> queue_;  // attributes added but not yet counted off
};

}  // namespace tessara::engine
