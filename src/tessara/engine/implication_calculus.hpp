#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tessara/core/context.hpp"
#include "tessara/engine/implication_list.hpp"
#include "tessara/engine/run_control.hpp"

// Reasoning with a set of implications alone, with no context behind it: the
// closure system the implications define, its minimum cover and its
// Duquenne-Guigues base, and the closed sets themselves.
namespace tessara::engine::implication_calculus {

using Word = ImplicationList::Word;

// A minimum cover of the implications: an equivalent set with as few
// implications as any, none derivable from the others, each conclusion the
// full closure of its premise. Implications whose premise is implied by a
// smaller premise drop out first (in order of premise size), so the quadratic
// passes run on what remains. nullopt when the control's pulse cancelled the
// run.
std::optional<ImplicationList> minimum_cover(const ImplicationList& implications, RunControl* control = nullptr);

// The Duquenne-Guigues base of the closure system: one implication P -> C per
// pseudo-closed set P, C its closure, in increasing lectic order of the
// premises (attribute 0 most significant). Computed from a minimum cover: the
// premise of an implication A -> C closed under the cover's implications whose
// conclusion differs from C is pseudo-closed, and distinct implications give
// distinct pseudo-closed sets.
std::optional<ImplicationList> canonical_base(const ImplicationList& implications, RunControl* control = nullptr);

// Every set closed under the implications, in increasing lectic order
// (NextClosure), packed one after another; at most `limit` of them, nullopt
// when there are more (or the pulse cancelled the run). With no attributes
// the one closed set, the empty one, takes no words.
std::optional<std::vector<Word>> closed_sets(const ImplicationList& implications, std::uint64_t limit,
                                             RunControl* control = nullptr);

// Per implication: true when every object of the context having the premise
// has the conclusion too. The implications are over the context's attributes.
std::vector<std::uint8_t> holds_in(const ImplicationList& implications, const core::Context& context);

// True when premise a comes before premise b in the lectic order.
bool lectic_less(std::span<const Word> a, std::span<const Word> b) noexcept;

}  // namespace tessara::engine::implication_calculus
