#pragma once

#include <optional>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// The Duquenne-Guigues base: one implication P -> P'' per pseudo-intent P, in
// increasing lectic order of the premises. Support is the number of objects
// holding P; confidence is always 1.0. Emits one trace event.
std::vector<core::Implication> canonical_base(const core::Context& context);

// The same, running the control's pulse between candidates; nullopt when the
// pulse cancelled the run (nothing kept, no trace event).
std::optional<std::vector<core::Implication>> canonical_base(const core::Context& context, RunControl& control);

}  // namespace tessara::engine
