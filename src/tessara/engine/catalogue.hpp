#pragma once

#include <array>
#include <expected>
#include <string>
#include <string_view>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/walk_task.hpp"

namespace tessara::engine {

// One concept-enumeration algorithm. Implementations hold no data, so one
// instance can serve any number of threads at once.
class ConceptAlgorithm {
 public:
  virtual ~ConceptAlgorithm() = default;

  // The canonical name, as listed in SUPPORTED_ALGORITHMS.
  virtual std::string_view name() const = 0;
  // The walk that lists this algorithm's concepts, and the target of its trace event.
  virtual WalkKind walk_kind() const = 0;
  virtual std::string_view trace_target() const = 0;

  // Every concept of the context exactly once, top concept first, in the
  // algorithm's own order; cover_cache is left empty. Emits one trace event.
  core::ConceptLattice compute(const core::Context& context) const;

  // The same within the control's limits (the frequent concepts, in the same
  // relative order), on `threads` threads with the same result as on one.
  // Emits the trace event only for a run that completes.
  std::expected<core::ConceptLattice, RunStop> compute(const core::Context& context, RunControl& control,
                                                       unsigned threads = 1) const;
};

// The selectable algorithms, in the order they are offered to users.
inline constexpr std::array<std::string_view, 3> SUPPORTED_ALGORITHMS{"next-closure", "in-close-5", "fcbo"};

// The algorithm a user-supplied name selects (ASCII letters compared without
// case, aliases accepted), or nullptr when the name selects none.
const ConceptAlgorithm* algorithm_by_name(std::string_view name);

// The message shown for a name that selects no algorithm; repeats the name as given.
std::string unknown_algorithm_message(std::string_view name);

}  // namespace tessara::engine
