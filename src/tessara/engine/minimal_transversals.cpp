#include "tessara/engine/minimal_transversals.hpp"

#include <algorithm>
#include <bit>
#include <limits>

#include "tessara/core/fault.hpp"

namespace tessara::engine {
namespace {

constexpr std::size_t kWordBits = 64;

std::size_t words_for(std::uint64_t bits) noexcept {
  return static_cast<std::size_t>((bits + kWordBits - 1) / kWordBits);
}

}  // namespace

TransversalSearch::TransversalSearch(std::uint64_t n_vertices)
    : n_vertices_(n_vertices), vertex_stride_(words_for(n_vertices)) {}

void TransversalSearch::add_edge(std::span<const Word> vertices) {
  if (vertices.size() != vertex_stride_) throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  const std::size_t needed = (edge_count_ + 1) * vertex_stride_;
  if (edges_.size() < needed) edges_.resize(std::max(needed, 2 * edges_.size()));
  const auto at = edges_.begin() + static_cast<std::ptrdiff_t>(edge_count_ * vertex_stride_);
  std::copy(vertices.begin(), vertices.end(), at);
  ++edge_count_;
}

// Sizes the per-edge sets for the current edges and fills the incidence.
void TransversalSearch::prepare() {
  edge_stride_ = std::max<std::size_t>(words_for(edge_count_), 1);
  incidence_.assign(static_cast<std::size_t>(n_vertices_) * edge_stride_, Word{0});
  for (std::size_t e = 0; e < edge_count_; ++e) {
    const auto vertices = edge(e);
    for (std::size_t w = 0; w < vertex_stride_; ++w)
      for (Word bits = vertices[w]; bits != 0; bits &= bits - 1) {
        const std::size_t v = w * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
        incidence_[v * edge_stride_ + e / kWordBits] |= Word{1} << (e % kWordBits);
      }
  }
  candidates_.assign(vertex_stride_, ~Word{0});
  if (n_vertices_ % kWordBits != 0) candidates_.back() = (Word{1} << (n_vertices_ % kWordBits)) - 1;
  if (levels_.empty()) levels_.resize(1);
  levels_[0].assign(edge_stride_, Word{0});
  Word* all = uncovered(0);
  for (std::size_t e = 0; e < edge_count_; ++e) all[e / kWordBits] |= Word{1} << (e % kWordBits);
  chosen_.clear();
}

void TransversalSearch::run(TransversalListener& listener) {
  prepare();
  stopped_ = false;
  search(0, listener);
}

void TransversalSearch::search(std::size_t depth, TransversalListener& listener) {
  // One search can take seconds (the keys of a concept with many upper neighbours): the listener may stop it.
  constexpr std::uint64_t kStepsPerAsk = 4096;
  if (stopped_ || (++steps_ % kStepsPerAsk == 0 && (stopped_ = !listener.keep_going()))) return;
  const Word* open = uncovered(depth);
  // The uncovered edge with the fewest candidate vertices: the branching
  // factor of this step.
  std::size_t best = std::numeric_limits<std::size_t>::max();
  std::uint64_t best_count = std::numeric_limits<std::uint64_t>::max();
  bool any_open = false;
  for (std::size_t w = 0; w < edge_stride_ && best_count != 0; ++w)
    for (Word bits = open[w]; bits != 0 && best_count != 0; bits &= bits - 1) {
      any_open = true;
      const std::size_t e = w * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
      const auto vertices = edge(e);
      std::uint64_t count = 0;
      for (std::size_t i = 0; i < vertex_stride_; ++i)
        count += static_cast<std::uint64_t>(std::popcount(vertices[i] & candidates_[i]));
      if (count < best_count) {
        best_count = count;
        best = e;
      }
    }
  if (!any_open) {
    listener.found(chosen_);
    return;
  }
  if (best_count == 0) return;

  if (branch_.size() < (depth + 1) * vertex_stride_) branch_.resize((depth + 1) * vertex_stride_);
  if (levels_.size() < depth + 2) levels_.resize(depth + 2);
  levels_[depth + 1].resize((depth + 2) * edge_stride_);
  // Deeper steps may move branch_: it is read by position, never by pointer.
  const std::size_t branch_at = depth * vertex_stride_;
  const auto best_edge = edge(best);
  for (std::size_t i = 0; i < vertex_stride_; ++i) {
    branch_[branch_at + i] = best_edge[i] & candidates_[i];
    candidates_[i] &= ~branch_[branch_at + i];
  }
  for (std::size_t w = 0; w < vertex_stride_; ++w)
    for (Word bits = branch_[branch_at + w]; bits != 0; bits &= bits - 1) {
      const auto v = static_cast<std::uint32_t>(w * kWordBits + static_cast<std::size_t>(std::countr_zero(bits)));
      const Word* holds_v = incidence_.data() + static_cast<std::size_t>(v) * edge_stride_;
      // The level's sets may have moved when levels_ grew: take them afresh.
      const Word* open_here = uncovered(depth);
      Word* open_next = uncovered(depth + 1);
      bool minimal = true;
      for (std::size_t i = 0; i < depth && minimal; ++i) {
        const Word* before = critical(depth, i);
        Word* after = critical(depth + 1, i);
        Word left = 0;
        for (std::size_t k = 0; k < edge_stride_; ++k) left |= (after[k] = before[k] & ~holds_v[k]);
        minimal = left != 0;
      }
      if (minimal) {
        Word* own = critical(depth + 1, depth);
        for (std::size_t k = 0; k < edge_stride_; ++k) {
          own[k] = open_here[k] & holds_v[k];
          open_next[k] = open_here[k] & ~holds_v[k];
        }
        chosen_.push_back(v);
        search(depth + 1, listener);
        chosen_.pop_back();
      }
      candidates_[w] |= Word{1} << (v % kWordBits);
    }
}

}  // namespace tessara::engine
