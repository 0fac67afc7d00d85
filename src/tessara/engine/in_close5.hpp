#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// In-Close5 (Andrews): the close-by-one tree grown from the extents, with
// intents completed in place and failures inherited by the children (see
// in_close5_kernel.hpp). Lists the concepts in the same order as Fcbo, so the
// two lists are identical.
class InClose5 final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "in-close-5"; }
  WalkKind walk_kind() const override { return WalkKind::kInClose5; }
  std::string_view trace_target() const override { return "tessara_engine::in_close5"; }
};

}  // namespace tessara::engine
