#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/sparse_incidence.hpp"
#include "tessara/core/cover_graph.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// Which rules between frequent closed sets to give.
enum class RuleBasis {
  // One rule per cover edge: the Luxenburger basis. With the canonical base
  // it derives every rule, and none of its rules follows from the others.
  Luxenburger,
  // Every rule X -> Y \ X between concepts X above Y.
  All,
};

// Which rules to keep; attribute sets have the context's capacity, and an
// empty set asks for nothing.
struct RuleConstraints {
  double min_confidence = 0.0;
  std::uint64_t max_premise = std::numeric_limits<std::uint64_t>::max();
  core::AttributeSet premise_includes;     // the premise holds all of these
  core::AttributeSet premise_excludes;     // the premise holds none of these
  core::AttributeSet conclusion_includes;  // the conclusion holds all of these
  core::AttributeSet conclusion_excludes;  // the conclusion holds none of these

  // No constraint but min_confidence, for a context of n_attributes.
  static RuleConstraints none(std::uint64_t n_attributes, double min_confidence = 0.0);
};

// X -> Y \ X for concepts X above Y (intents X ⊂ Y): the premise is the
// intent of concept `premise`, the conclusion the attributes the intent of
// concept `conclusion` adds to it. Counts are of objects.
struct AssociationRule {
  std::uint32_t premise;              // the concept whose intent is X
  std::uint32_t conclusion;           // the concept whose intent is Y
  std::uint64_t support;              // |Y'|, the objects holding premise and conclusion
  std::uint64_t premise_support;      // |X'|
  std::uint64_t conclusion_support;   // |(Y \ X)'|
};

// The usual interest measures of a rule over n objects, from its counts.
// confidence = |Y'| / |X'|; lift = confidence / (|(Y \ X)'| / n) (NaN when
// the conclusion is held by no object); leverage = |Y'|/n - |X'|/n * |(Y \ X)'|/n;
// conviction = (1 - |(Y \ X)'|/n) / (1 - confidence), infinite at confidence 1.
struct RuleMeasures {
  double confidence;
  double lift;
  double leverage;
  double conviction;
};
RuleMeasures rule_measures(const AssociationRule& rule, std::uint64_t n_objects) noexcept;

// The association rules with confidence below 1 between the concepts of a
// lattice closed upwards (the complete lattice, or the iceberg lattice of
// the concepts held by at least some number of objects, every rule's
// support then meeting that threshold), given with its cover edges. Rules
// come grouped by premise concept in ascending index, each group ordered by
// conclusion concept. The constraints are applied while walking: a premise
// failing its constraints is never walked from, and under `All` the walk
// below a premise stops where the confidence falls below the minimum or the
// conclusion meets an excluded attribute, since both only get worse further
// down. Extents are read only for their sizes; the context gives the
// conclusions' supports.
std::vector<AssociationRule> association_rules(const core::Context& context, const core::ConceptList& concepts,
                                               const core::CoverGraph& graph, RuleBasis basis,
                                               const RuleConstraints& constraints);

// The same under a run control: the walk counts the rules it has found into
// it and beats it every thousand steps or so (so this runs on the thread that
// owns the control's pulse); nothing once the control stops the run.
std::optional<std::vector<AssociationRule>> association_rules(const core::Context& context,
                                                              const core::ConceptList& concepts,
                                                              const core::CoverGraph& graph, RuleBasis basis,
                                                              const RuleConstraints& constraints,
                                                              RunControl& control);

// The same with the conclusions' supports counted on the object lists of a
// sparse incidence, for contexts whose packed form would be large.
std::optional<std::vector<AssociationRule>> association_rules(const core::SparseIncidence& incidence,
                                                              const core::ConceptList& concepts,
                                                              const core::CoverGraph& graph, RuleBasis basis,
                                                              const RuleConstraints& constraints,
                                                              RunControl& control);

}  // namespace tessara::engine
