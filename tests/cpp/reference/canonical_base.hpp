#pragma once

// The canonical base as the plain NextClosure walk: every candidate closed from
// scratch by repeated passes over the implications found so far, every visited
// set given a full derivation closure over the rows. Slow but direct; the
// engine's walk is compared with it.

#include <optional>
#include <utility>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/lectic.hpp"
#include "tessara/trace/trace.hpp"

namespace tessara::reference {

namespace detail {

// Adds the conclusion's members to x; true when at least one was new.
inline bool absorb(core::AttributeSet& x, const core::AttributeSet& conclusion) {
  auto words = x.mutable_words();
  const auto add = conclusion.words();
  bool grew = false;
  for (std::size_t w = 0; w < words.size(); ++w) {
    grew = grew || (add[w] & ~words[w]) != 0;
    words[w] |= add[w];
  }
  return grew;
}

// Closes the candidate for position i under the implications found so far:
// passes over the list in order until one pass adds nothing; additions count at
// once for later implications of the same pass. Closing only ever adds
// members, so as soon as the candidate gains an attribute below i that
// `current` lacks it can no longer pass the canonicity test, and the closing
// stops there. Returns whether the closed candidate passes the test.
inline bool close_canonically(core::AttributeSet& candidate, const core::AttributeSet& current, std::uint64_t i,
                              const std::vector<core::Implication>& implications) {
  bool grew = !implications.empty();
  while (grew) {
    grew = false;
    for (const core::Implication& implication : implications) {
      if (!core::is_subset(implication.premise, candidate) || !absorb(candidate, implication.conclusion)) continue;
      if (engine::lectic::gains_member_below(candidate, current, i)) return false;
      grew = true;
    }
  }
  return true;
}

// The lectically next set after `current` that is closed under the
// implications, or nothing when `current` holds every attribute.
inline std::optional<core::AttributeSet> next_closed(const core::AttributeSet& current,
                                                     const std::vector<core::Implication>& implications) {
  for (std::uint64_t i = current.capacity(); i-- > 0;) {
    if (current.contains(i)) continue;
    core::AttributeSet candidate = engine::lectic::prefix_with(current, static_cast<std::uint32_t>(i));
    if (close_canonically(candidate, current, i, implications)) return candidate;
  }
  return std::nullopt;
}

// Appends premise -> premise'' when the visited set is not an intent.
inline void record(const core::Context& context, const core::AttributeSet& visited,
                   std::vector<core::Implication>& base) {
  core::ObjectSet extent = context.extent_of(visited);
  core::AttributeSet closed = context.intent_of(extent);
  if (closed == visited) return;
  base.push_back(core::Implication{visited, std::move(closed), extent.count(), 1.0});
}

}  // namespace detail

inline std::vector<core::Implication> canonical_base(const core::Context& context) {
  std::vector<core::Implication> base;
  core::AttributeSet visited = core::AttributeSet::empty(context.n_attributes());
  detail::record(context, visited, base);
  while (auto next = detail::next_closed(visited, base)) {
    visited = std::move(*next);
    detail::record(context, visited, base);
  }
  trace::emit("tessara_engine::canonical_base", "canonical base computation complete",
              trace::field("algorithm", std::string_view("duquenne-guigues")),
              trace::field("implications", static_cast<std::uint64_t>(base.size())),
              trace::field("objects", context.n_objects()), trace::field("attributes", context.n_attributes()));
  return base;
}

}  // namespace tessara::reference
