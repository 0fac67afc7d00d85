#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// Lists the concepts in increasing lectic order of their intents: the FCbO walk
// with every concept's children visited from the largest attribute down.
class NextClosure final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "next-closure"; }
  core::ConceptLattice compute(const core::Context& context) const override;
};

}  // namespace tessara::engine
