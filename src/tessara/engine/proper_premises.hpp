#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tessara/core/context.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// One implication P -> P• of the canonical direct base. P• is what P implies
// and no proper subset of P does: P'' without P and without (P \ {p})'' for
// every p in P. It never shares an attribute with P. support = |P'|.
struct DirectImplication {
  core::AttributeSet premise;
  core::AttributeSet conclusion;
  std::uint64_t support;
};

// The canonical direct base (the proper premises with their P•), restricted
// to premises held by at least min_support objects, in increasing lectic
// order of the premises (attribute 0 most significant).
//
// A proper premise is a key (a minimal generator: every proper subset
// closes to less), so the walk goes through the keys of the context and
// keeps those with a nonempty P•. The keys are closed downwards, and a set
// is a key exactly when every set one attribute smaller is a key held by
// more objects. The walk extends a key X only by attributes m above its own
// with X \ {max X} ∪ {m} a key, takes the extensions in descending order and
// walks below each one at once; so every subset of a set is met before the
// set, and a table of the keys met gives the supports and closures of its
// subsets, from which both the key test and P• follow without another
// closure. Support only falls as a key grows, so the threshold prunes the
// walk itself. The depth never exceeds the size of a key, which is at most
// log2 of the number of concepts.
std::vector<DirectImplication> proper_premise_base(const core::Context& context, std::uint64_t min_support = 0);

// The same with the control's min_support, beating the control as the walk
// goes; nullopt when the control cancelled the run.
std::optional<std::vector<DirectImplication>> proper_premise_base(const core::Context& context, RunControl& control);

}  // namespace tessara::engine
