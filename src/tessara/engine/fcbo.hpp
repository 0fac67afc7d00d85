#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// FCbO: close-by-one with inherited canonicity failures, children in
// ascending attribute order, each followed by its subtree (see fcbo_kernel.hpp).
class Fcbo final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "fcbo"; }
  WalkKind walk_kind() const override { return WalkKind::kFcboAscending; }
  std::string_view trace_target() const override { return "tessara_engine::fcbo"; }
};

}  // namespace tessara::engine
