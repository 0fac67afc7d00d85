#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// Runs the same close-by-one walk as Fcbo and returns an identical list; only
// its name and its trace event differ.
class InClose5 final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "in-close-5"; }
  core::ConceptLattice compute(const core::Context& context) const override;
};

}  // namespace tessara::engine
