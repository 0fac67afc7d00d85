#pragma once

#include <string_view>

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// LCM: prefix-preserving closure extensions over conditional databases, for
// transaction data (see lcm_kernel.cpp). Offered by the lab only, beside the
// catalogue's algorithms.
class Lcm final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "lcm"; }
  WalkKind walk_kind() const override { return WalkKind::kLcm; }
  std::string_view trace_target() const override { return "tessara_engine::lcm"; }
};

// The one instance (the algorithm holds no data).
const ConceptAlgorithm& lcm_algorithm();

}  // namespace tessara::engine
