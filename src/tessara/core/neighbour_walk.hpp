#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/intent_index.hpp"
#include "tessara/core/lattice_incidence.hpp"

namespace tessara::core {

// Which side of the context the neighbour walk extends a concept by: one
// attribute at a time (finding lower neighbours) or one object at a time
// (finding upper neighbours). Both give the same edges; the cost grows with
// the square of the side's size, so the smaller side is the cheaper one.
enum class NeighbourSide { Attributes, Objects };

// Lindig's neighbour procedure over a complete concept lattice. On the
// attribute side, for a concept (A, B): start with min = M \ B; for each
// m not in B, C = A ∩ m' and D = C'; when no element of min other than m lies
// in D \ B, (C, D) is a lower neighbour, otherwise m leaves min. Every
// neighbour is found exactly once, at the last element of D \ B in walking
// order. The object side is the same with objects and attributes exchanged
// and finds upper neighbours.
//
// The incidence is read back from the concepts themselves, and a neighbour's
// index is found through a hash table of the intents; both are built once.
// A concept whose other-side set has at most 64 * kCompactWords members spread
// over more words than that (most concepts of a large sparse context, such as
// three in four of mushroom's) is walked on candidates compacted to that set:
// bit k of x's candidate says whether the k-th member relates to x, so the
// candidates are built from the members' rows and compared a few words at a
// time, whatever the size of the other side.
class NeighbourWalk {
 public:
  using Word = std::uint64_t;

  NeighbourWalk(const ConceptList& concepts, NeighbourSide side);

  // For the frequent concepts of a context (those whose extents hold at least
  // min_support objects, an up-set of its lattice), with the context's
  // attribute columns: the walk then lists the edges among them. Upper
  // neighbours of a frequent concept are frequent; a lower neighbour that is
  // not is left out.
  NeighbourWalk(const ConceptList& concepts, NeighbourSide side, PackedSets attribute_columns,
                std::uint64_t min_support);
  // The same with the context's rows as attribute lists (offsets, attributes):
  // on the attribute side, one pass over a concept's objects then counts every
  // candidate's extent, and the infrequent ones are skipped unbuilt.
  NeighbourWalk(const ConceptList& concepts, PackedSets attribute_columns, std::uint64_t min_support,
                std::vector<std::size_t> row_offsets, std::vector<std::uint32_t> row_attributes);

  // Appends one edge per neighbour of concept i, in walking order.
  void visit(std::uint32_t i, std::vector<CoverEdge>& edges);

 private:
  std::span<const Word> walked_set(std::uint32_t i) const;
  std::span<const Word> other_set(std::uint32_t i) const;
  void build_candidate(std::span<const Word> other, std::size_t x);
  bool candidate_within(std::span<const Word> set) const;
  bool rows_cost_within(std::uint64_t budget) const;
  bool blocked_by_min(std::size_t x);
  std::uint32_t neighbour_index(std::uint32_t i, std::size_t x);
  bool candidate_is_infrequent() const noexcept;
  static constexpr std::size_t kCompactWords = 4;
  void build_compact_candidates(std::span<const Word> walked);
  void clear_compact_candidates();
  template <std::size_t Words>
  void visit_compact(std::uint32_t i, std::span<const Word> walked, std::vector<CoverEdge>& edges);
  std::uint32_t found(std::span<const Word> key) const;

  static constexpr std::uint32_t kLeftOut = ~std::uint32_t{0};

  const ConceptList& concepts_;
  NeighbourSide side_;
  PackedSets columns_;  // for each element x of the walked side, the other-side set x'
  PackedSets rows_;     // the same relation indexed by the other side
  IntentIndex index_;
  std::uint64_t min_support_ = 0;
  std::vector<std::size_t> row_offsets_;       // attribute lists of the objects, when counting
  std::vector<std::uint32_t> row_attributes_;
  std::vector<std::uint64_t> candidate_sizes_;  // per attribute, for the concept being visited
  std::uint64_t walked_capacity_;
  Word last_word_mask_;

  // Reused for every concept and candidate.
  std::vector<std::uint32_t> nonzero_words_;    // positions of the non-zero words of the concept's other set
  std::vector<std::uint32_t> candidate_words_;  // positions of the non-zero words of the candidate
  std::vector<Word> candidate_bits_;            // and those words
  std::size_t candidate_size_ = 0;              // how many of them
  std::vector<Word> min_;
  std::uint64_t min_count_ = 0;
  std::uint64_t outside_min_ = 0;  // elements outside the walked set that have left min
  std::vector<Word> scratch_;      // walked-side words
  std::vector<Word> key_;          // intent words of a neighbour
  // The walk of a concept with a small other-side set.
  std::vector<std::uint32_t> members_;    // the other-side set's members, ascending
  std::vector<Word> compact_candidates_;  // per walked-side element, kCompactWords words: bits over members_
  std::vector<std::uint32_t> touched_;    // the elements whose candidate is not empty
};

}  // namespace tessara::core
