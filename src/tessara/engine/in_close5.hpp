#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// In-Close5 (Andrews): the close-by-one tree grown from the extents, with
// intents completed in place and failures inherited by the children. Lists
// the concepts in the same order as Fcbo, so the two lists are identical.
class InClose5 final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "in-close-5"; }
  core::ConceptLattice compute(const core::Context& context) const override;
};

}  // namespace tessara::engine
