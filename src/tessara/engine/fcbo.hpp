#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// FCbO: close-by-one with inherited canonicity failures, children in
// ascending attribute order, each followed by its subtree (see fcbo_kernel.hpp).
class Fcbo final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "fcbo"; }
  core::ConceptLattice compute(const core::Context& context) const override;
};

}  // namespace tessara::engine
