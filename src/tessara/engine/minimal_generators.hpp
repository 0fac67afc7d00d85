#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/cover_graph.hpp"
#include "tessara/core/packed_intents.hpp"
#include "tessara/engine/minimal_transversals.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {

// The minimal generators (keys) of concept intents: the minimal attribute
// sets X inside an intent B with X'' = B. A set X inside B closes to less
// than B exactly when it lies inside the intent of one of the concept's upper
// neighbours, so the keys of B are the minimal transversals of the
// differences B \ D, D running over the upper neighbours' intents. The top
// concept (no upper neighbour) has the one key {}.
//
// Needs only the intents and the cover edges, so it works on any lattice
// that is closed upwards, an iceberg lattice included.
class GeneratorSearch {
 public:
  using Word = std::uint64_t;

  // With a control, the search beats it every few thousand steps (on the
  // calling thread) and stops when it stops the run: keys_of then returns a
  // partial list, to be thrown away.
  GeneratorSearch(const core::ConceptList& concepts, const core::CoverGraph& graph, RunControl* control = nullptr);

  // Appends the keys of concept i to `out`, concepts.intent_stride() words
  // each, smallest first (by size, then by their attributes in index order);
  // returns how many.
  std::size_t keys_of(std::uint32_t i, std::vector<Word>& out);

 private:
  RunControl* control_;
  core::PackedIntents intents_;
  const core::CoverGraph& graph_;
  TransversalSearch search_;
  std::vector<Word> difference_;
  std::vector<Word> found_;
};

// The keys of every concept: keys of concept i are keys[first[i] .. first[i + 1]),
// each `stride` words of `words`.
struct GeneratorTable {
  std::size_t stride = 0;
  std::vector<std::uint64_t> first;
  std::vector<std::uint64_t> words;

  std::size_t key_count() const noexcept { return first.empty() ? 0 : first.back(); }
  std::span<const std::uint64_t> key(std::size_t k) const noexcept { return {words.data() + k * stride, stride}; }
};

GeneratorTable minimal_generators(const core::ConceptList& concepts, const core::CoverGraph& graph);

// The same under a run control, beaten every kConceptsPerBeat concepts on the
// calling thread; nothing once the control stops the run.
inline constexpr std::size_t kConceptsPerBeat = 16;
std::optional<GeneratorTable> minimal_generators(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                                 RunControl& control);

}  // namespace tessara::engine
