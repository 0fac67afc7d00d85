#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// Depth-first close-by-one enumeration (see close_by_one.hpp for the order).
class Fcbo final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "fcbo"; }
  core::ConceptLattice compute(const core::Context& context) const override;
};

}  // namespace tessara::engine
