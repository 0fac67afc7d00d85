#pragma once

#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {

// Lists the concepts in increasing lectic order of their intents: the FCbO walk
// with every concept's children visited from the largest attribute down.
//
// The lectic order of the intents is the pre-order of the close-by-one tree
// when every concept's children are visited from the largest generating
// attribute down: a child's intent agrees with its parent's below the
// generating attribute and adds it, so the subtree of a larger attribute holds
// exactly the intents that come lectically before those of a smaller one.
class NextClosure final : public ConceptAlgorithm {
 public:
  std::string_view name() const override { return "next-closure"; }
  WalkKind walk_kind() const override { return WalkKind::kFcboDescending; }
  std::string_view trace_target() const override { return "tessara_engine::next_closure"; }
};

}  // namespace tessara::engine
