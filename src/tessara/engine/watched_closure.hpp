#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessara::engine {

// The implications found so far by the canonical-base walk, indexed for
// closing a current attribute set C that grows and shrinks like a stack (the
// depth-first walk adds attributes going down and drops the latest ones going
// back up).
//
// Each implication whose premise is not inside C watches one premise
// attribute missing from C, and sits on that attribute's list. Adding an
// attribute to C visits only its list: an implication there either moves to
// another missing premise attribute or, having none, fires its conclusion.
// Dropping attributes needs no work at all: an implication watching a dropped
// attribute still watches a missing one, and one that fired watches the
// premise attribute added last, which is dropped before any other of its
// premise. So a closure costs the lists of the attributes it adds, each
// implication on one list only, and going back costs nothing.
class WatchedClosure {
 public:
  using Word = std::uint64_t;
  static constexpr std::uint32_t kNoWatch = 0xffffffffu;

  explicit WatchedClosure(std::uint64_t n_attributes);

  std::size_t size() const noexcept { return supports_.size(); }
  std::span<const Word> premise(std::size_t k) const noexcept { return {premises_.data() + k * stride_, stride_}; }
  std::span<const Word> conclusion(std::size_t k) const noexcept {
    return {conclusions_.data() + k * stride_, stride_};
  }
  std::uint64_t support(std::size_t k) const noexcept { return supports_[k]; }

  // Appends premise -> conclusion while the premise lies inside C. `watch` is
  // the premise attribute that C will drop first (kNoWatch for an empty
  // premise, which holds everywhere).
  void append(std::span<const Word> premise, std::span<const Word> conclusion, std::uint64_t support,
              std::uint32_t watch);

  // C has grown to `set` by attributes whose consequences are known to lie in
  // `set` already (those of a closed set): moves the watches off `added`.
  void watch_past(std::span<const Word> set, std::span<const Word> added);

  // Closes `set` (C, closed under the implications) with attribute j added.
  // Stops as soon as a conclusion brings in an attribute below j that the set
  // lacks: returns false with the smallest such attribute in `below`, and the
  // caller discards the set.
  bool close_with(std::span<Word> set, std::uint32_t j, std::uint32_t& below);

 private:
  // Puts implication k on the list of its smallest premise attribute missing
  // from `set` (the caller takes it off its current list); false when the
  // premise lies inside `set`. Below a node the walk adds only attributes
  // above the node's generator, so a small attribute is added seldom and its
  // watchers are rarely visited.
  bool move_watch(std::uint32_t k, std::span<const Word> set);

  std::size_t stride_;
  std::vector<Word> premises_;
  std::vector<Word> conclusions_;
  std::vector<std::uint64_t> supports_;
  std::vector<std::vector<std::uint32_t>> watchers_;  // per attribute
  std::vector<std::uint32_t> queue_;                  // attributes added but not yet visited
};

}  // namespace tessara::engine
