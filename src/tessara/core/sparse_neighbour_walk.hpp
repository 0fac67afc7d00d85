#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/intent_index.hpp"
#include "tessara/core/sparse_incidence.hpp"

namespace tessara::core {

// The lower neighbours of the frequent concepts of a context stored as index
// lists, without its packed form. For a concept (A, B), each attribute m
// outside B gives the child extent A ∩ m'; the lower neighbours are the
// maximal ones among them. One pass over the rows of A counts |A ∩ m'| for
// every m and delivers each child's objects (occurrence deliver); the rows of
// a child's objects, intersected, give the attributes D \ B they all share.
// The child is maximal exactly when no attribute of D \ B has a larger count
// (a larger child would contain it), and the attributes of D \ B with its
// count name the same child, which is then not looked at again. So the work
// follows the rows of the extents, never objects x attributes. Children with
// fewer than min_support objects are left out, as the frequent concepts do
// not hold them; the neighbour's index is found by its intent.
//
// `concepts` holds every concept of the context whose extent has at least
// min_support objects (with min_support 0, every concept), in any order, and
// `index` indexes them; both outlive the walk. One walk per thread: it keeps
// its counters between visits.
class SparseNeighbourWalk {
 public:
  SparseNeighbourWalk(const ConceptList& concepts, const SparseIncidence& incidence, const IntentIndex& index,
                      std::uint64_t min_support);

  // Appends one edge (lower neighbour, i) per lower neighbour of concept i.
  void visit(std::uint32_t i, std::vector<CoverEdge>& edges);

 private:
  using Word = std::uint64_t;

  // Counts the attributes of the rows of `objects` into counts_, listing
  // each attribute counted for the first time in touched_.
  void count_rows(std::span<const std::uint32_t> objects);
  // The candidates every row of `child` (not empty) holds, into added_.
  void shared_by_rows(std::span<const std::uint32_t> child);
  std::span<const std::uint32_t> row(std::uint32_t g) const noexcept {
    return row_attributes_.subspan(row_offsets_[g], row_offsets_[g + 1] - row_offsets_[g]);
  }
  std::uint32_t neighbour_index(std::span<const Word> intent, std::span<const std::uint32_t> added);
  void add_edge_to_bottom(std::uint32_t i, std::span<const Word> intent, std::vector<CoverEdge>& edges);

  const ConceptList& concepts_;
  const SparseIncidence& incidence_;
  const IntentIndex& index_;
  std::uint64_t min_support_;
  std::span<const std::uint64_t> row_offsets_;
  std::span<const std::uint32_t> row_attributes_;

  std::vector<std::uint32_t> extent_;        // A, the objects of the visited concept
  std::vector<std::uint32_t> counts_;        // |A ∩ m'| by attribute, zero between visits
  std::vector<std::uint32_t> touched_;       // the attributes with a count
  std::vector<std::uint32_t> candidates_;    // m outside B with a frequent child
  std::vector<std::uint64_t> occurrence_start_;  // by attribute: where its child's objects start
  std::vector<std::uint32_t> occurrences_;   // the children's objects, one run per candidate
  std::vector<std::uint8_t> done_;           // by attribute: its child was visited this time
  std::vector<std::uint32_t> added_;         // D \ B of the child being looked at
  std::vector<Word> intent_;                 // a child's intent as words, for the look-up
};

}  // namespace tessara::core
