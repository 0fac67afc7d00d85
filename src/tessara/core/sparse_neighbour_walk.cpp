#include "tessara/core/sparse_neighbour_walk.hpp"

#include <algorithm>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

// Marks on the attributes of one visit.
constexpr std::uint8_t kCandidate = 1;  // outside B, with a frequent child
constexpr std::uint8_t kVisited = 2;    // its child was looked at (by itself or through an equal one)

bool holds(std::span<const std::uint64_t> words, std::uint32_t m) noexcept {
  return ((words[m / 64] >> (m % 64)) & 1) != 0;
}

}  // namespace

SparseNeighbourWalk::SparseNeighbourWalk(const ConceptList& concepts, const SparseIncidence& incidence,
                                         const IntentIndex& index, std::uint64_t min_support)
    : concepts_(concepts),
      incidence_(incidence),
      index_(index),
      min_support_(min_support),
      row_offsets_(incidence.row_offsets()),
      row_attributes_(incidence.row_attributes()),
      counts_(incidence.n_attributes(), 0),
      occurrence_start_(incidence.n_attributes(), 0),
      done_(incidence.n_attributes(), 0),
      intent_(concepts.intent_stride(), 0) {
  if (concepts.n_objects() != incidence.n_objects() || concepts.n_attributes() != incidence.n_attributes())
    throw InternalFault(fault_text::kSetCapacitiesDiffer);
}

void SparseNeighbourWalk::count_rows(std::span<const std::uint32_t> objects) {
  touched_.clear();
  for (const std::uint32_t g : objects)
    for (const std::uint32_t m : row(g))
      if (counts_[m]++ == 0) touched_.push_back(m);
}

// D \ B of a child: the candidates on every row of its objects. The rows are
// intersected one after the other, and the intersection stops shrinking once
// it is the child's own attribute alone, which on transaction data comes
// after a few rows.
void SparseNeighbourWalk::shared_by_rows(std::span<const std::uint32_t> child) {
  added_.clear();
  for (const std::uint32_t n : row(child.front()))
    if (done_[n] != 0) added_.push_back(n);
  for (std::size_t k = 1; k < child.size() && added_.size() > 1; ++k) {
    const std::span<const std::uint32_t> other = row(child[k]);
    std::size_t kept = 0;
    std::size_t at = 0;
    for (const std::uint32_t n : added_) {
      while (at < other.size() && other[at] < n) ++at;
      if (at == other.size()) break;
      if (other[at] == n) added_[kept++] = n;
    }
    added_.resize(kept);
  }
}

std::uint32_t SparseNeighbourWalk::neighbour_index(std::span<const Word> intent, std::span<const std::uint32_t> added) {
  std::copy(intent.begin(), intent.end(), intent_.begin());
  for (const std::uint32_t m : added) intent_[m / 64] |= Word{1} << (m % 64);
  const auto found = index_.find(intent_);
  // Every frequent concept is in the list, so a frequent child always is.
  if (!found) throw InternalFault(fault_text::kIndexOutOfRange);
  return *found;
}

// The bottom concept (no objects, every attribute) is a lower neighbour of a
// concept none of whose objects has an attribute outside its intent.
void SparseNeighbourWalk::add_edge_to_bottom(std::uint32_t i, std::span<const Word> intent,
                                             std::vector<CoverEdge>& edges) {
  const std::uint64_t n_attributes = concepts_.n_attributes();
  std::fill(intent_.begin(), intent_.end(), ~Word{0});
  if (n_attributes % 64 != 0) intent_.back() = (Word{1} << (n_attributes % 64)) - 1;
  if (std::equal(intent.begin(), intent.end(), intent_.begin())) return;  // the bottom itself
  const auto found = index_.find(intent_);
  if (!found) throw InternalFault(fault_text::kIndexOutOfRange);
  edges.push_back(CoverEdge{*found, i});
}

void SparseNeighbourWalk::visit(std::uint32_t i, std::vector<CoverEdge>& edges) {
  const std::span<const Word> intent = index_.intents()[i];
  extent_.clear();
  concepts_.for_each_extent_member(i, [&](std::uint32_t g) { extent_.push_back(g); });
  count_rows(extent_);

  const std::uint64_t least = std::max<std::uint64_t>(min_support_, 1);
  candidates_.clear();
  std::uint64_t total = 0;
  for (const std::uint32_t m : touched_) {
    if (holds(intent, m) || counts_[m] < least) continue;
    candidates_.push_back(m);
    done_[m] = kCandidate;
    occurrence_start_[m] = total;
    total += counts_[m];
  }
  if (candidates_.empty()) {
    // With min_support 0 every concept is listed, the bottom one included.
    if (min_support_ == 0) add_edge_to_bottom(i, intent, edges);
  } else {
    // Occurrence deliver: each candidate's objects, ascending, in one run.
    occurrences_.resize(total);
    for (const std::uint32_t g : extent_)
      for (const std::uint32_t m : incidence_.row(g))
        if (done_[m] == kCandidate) occurrences_[occurrence_start_[m]++] = g;
    // Larger children first: a child's count is never below that of a child containing it.
    std::sort(candidates_.begin(), candidates_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return counts_[a] != counts_[b] ? counts_[a] > counts_[b] : a < b;
    });
    for (const std::uint32_t m : candidates_) {
      if (done_[m] == kVisited) continue;
      const std::uint32_t size = counts_[m];
      const std::span<const std::uint32_t> child(occurrences_.data() + (occurrence_start_[m] - size), size);
      shared_by_rows(child);
      bool maximal = true;
      for (const std::uint32_t n : added_) {
        maximal = maximal && counts_[n] == size;
        done_[n] = kVisited;
      }
      if (maximal) edges.push_back(CoverEdge{neighbour_index(intent, added_), i});
    }
  }
  for (const std::uint32_t m : touched_) counts_[m] = 0;
  for (const std::uint32_t m : candidates_) done_[m] = 0;
}

}  // namespace tessara::core
