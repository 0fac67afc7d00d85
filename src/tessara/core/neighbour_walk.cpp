#include "tessara/core/neighbour_walk.hpp"

#include <algorithm>
#include <bit>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

constexpr const char* kNotALattice = "covering relation needs every concept of one context";

PackedSets walked_columns(const ConceptList& concepts, NeighbourSide side) {
  PackedSets attribute_columns = attribute_columns_of(concepts);
  return side == NeighbourSide::Attributes ? attribute_columns : attribute_columns.transposed();
}

}  // namespace

NeighbourWalk::NeighbourWalk(const ConceptList& concepts, NeighbourSide side)
    : concepts_(concepts),
      side_(side),
      columns_(walked_columns(concepts, side)),
      rows_(columns_.transposed()),
      index_(concepts),
      walked_capacity_(columns_.size()),
      last_word_mask_(walked_capacity_ % 64 == 0 ? ~Word{0} : (Word{1} << (walked_capacity_ % 64)) - 1),
      min_(rows_.stride()),
      scratch_(rows_.stride()),
      key_(concepts.intent_stride()),
      extent_(concepts.extent_stride()) {}

// Both read concept i's extent from extent_, which visit(i) has filled.
std::span<const NeighbourWalk::Word> NeighbourWalk::walked_set(std::uint32_t i) const {
  return side_ == NeighbourSide::Attributes ? concepts_.intent_words(i) : std::span<const Word>(extent_);
}

std::span<const NeighbourWalk::Word> NeighbourWalk::other_set(std::uint32_t i) const {
  return side_ == NeighbourSide::Attributes ? std::span<const Word>(extent_) : concepts_.intent_words(i);
}

// The candidate is the other set of the concept intersected with x', kept as
// its non-zero words only: it lies inside the concept's other set, so only
// that set's non-zero words can contribute.
void NeighbourWalk::build_candidate(std::span<const Word> other, std::size_t x) {
  const auto column = columns_[x];
  candidate_words_.clear();
  candidate_bits_.clear();
  for (const std::uint32_t w : nonzero_words_) {
    const Word word = other[w] & column[w];
    if (word == 0) continue;
    candidate_words_.push_back(w);
    candidate_bits_.push_back(word);
  }
}

// Whether intersecting the candidate's rows (its size times a row's words)
// costs no more than `budget`. The size is counted only when the number of
// non-zero words, a lower bound of it, leaves the question open.
bool NeighbourWalk::rows_cost_within(std::uint64_t budget) const {
  const std::uint64_t stride = std::max<std::uint64_t>(rows_.stride(), 1);
  if (candidate_words_.size() * stride > budget) return false;
  const std::uint64_t most = budget / stride;
  std::uint64_t size = 0;
  for (const Word word : candidate_bits_) {
    size += static_cast<std::uint64_t>(std::popcount(word));
    if (size > most) return false;
  }
  return true;
}

bool NeighbourWalk::candidate_within(std::span<const Word> set) const {
  for (std::size_t k = 0; k < candidate_words_.size(); ++k)
    if ((candidate_bits_[k] & ~set[candidate_words_[k]]) != 0) return false;
  return true;
}

// True when some element of min other than x holds the whole candidate, that
// is lies in the candidate's derivation. Two ways to find out, whichever is
// cheaper for this candidate: intersect the rows of the candidate's members
// with min (stopping once nothing is left), or test min's elements' columns.
bool NeighbourWalk::blocked_by_min(std::size_t x) {
  const Word x_bit = Word{1} << (x % 64);
  const std::size_t x_word = x / 64;
  const std::uint64_t others = min_count_ - (((min_[x_word] & x_bit) != 0) ? 1 : 0);
  if (others == 0) return false;
  if (rows_cost_within(others)) {
    std::copy(min_.begin(), min_.end(), scratch_.begin());
    scratch_[x_word] &= ~x_bit;
    for (std::size_t k = 0; k < candidate_words_.size(); ++k) {
      for (Word rest = candidate_bits_[k]; rest != 0; rest &= rest - 1) {
        const auto row = rows_[candidate_words_[k] * 64 + static_cast<std::size_t>(std::countr_zero(rest))];
        Word left = 0;
        for (std::size_t w = 0; w < scratch_.size(); ++w) left |= (scratch_[w] &= row[w]);
        if (left == 0) return false;
      }
    }
    return true;
  }
  for (std::size_t w = 0; w < min_.size(); ++w) {
    Word members = min_[w];
    if (w == x_word) members &= ~x_bit;
    for (; members != 0; members &= members - 1) {
      const std::size_t y = w * 64 + static_cast<std::size_t>(std::countr_zero(members));
      if (candidate_within(columns_[y])) return true;
    }
  }
  return false;
}

// The index of the neighbour whose other-side set is the candidate. Its intent
// is the candidate itself on the object side, and on the attribute side the
// intersection of the candidate's objects' rows (every attribute when the
// candidate is empty).
std::uint32_t NeighbourWalk::neighbour_index(std::uint32_t i, std::size_t x) {
  if (side_ == NeighbourSide::Objects) {
    std::fill(key_.begin(), key_.end(), Word{0});
    for (std::size_t k = 0; k < candidate_words_.size(); ++k) key_[candidate_words_[k]] = candidate_bits_[k];
  } else if (rows_cost_within(outside_min_)) {
    std::fill(key_.begin(), key_.end(), ~Word{0});
    if (!key_.empty()) key_.back() &= last_word_mask_;
    for (std::size_t k = 0; k < candidate_words_.size(); ++k) {
      for (Word rest = candidate_bits_[k]; rest != 0; rest &= rest - 1) {
        const auto row = rows_[candidate_words_[k] * 64 + static_cast<std::size_t>(std::countr_zero(rest))];
        for (std::size_t w = 0; w < key_.size(); ++w) key_[w] &= row[w];
      }
    }
  } else {
    // The walked set, x, and those attributes outside both the walked set and
    // min whose columns hold the candidate (no other element of min does:
    // the walk has just checked that).
    const auto walked = walked_set(i);
    for (std::size_t w = 0; w < key_.size(); ++w) {
      key_[w] = walked[w];
      Word open = ~walked[w] & ~min_[w];
      if (w + 1 == key_.size()) open &= last_word_mask_;
      for (; open != 0; open &= open - 1) {
        const std::size_t y = w * 64 + static_cast<std::size_t>(std::countr_zero(open));
        if (candidate_within(columns_[y])) key_[w] |= Word{1} << (y % 64);
      }
    }
    key_[x / 64] |= Word{1} << (x % 64);
  }
  const auto found = index_.find(key_);
  if (!found) throw InternalFault(kNotALattice);
  return *found;
}

void NeighbourWalk::visit(std::uint32_t i, std::vector<CoverEdge>& edges) {
  concepts_.extent_into(i, extent_);
  const auto walked = walked_set(i);
  const auto other = other_set(i);
  nonzero_words_.clear();
  for (std::size_t w = 0; w < other.size(); ++w)
    if (other[w] != 0) nonzero_words_.push_back(static_cast<std::uint32_t>(w));
  for (std::size_t w = 0; w < min_.size(); ++w) min_[w] = ~walked[w];
  if (!min_.empty()) min_.back() &= last_word_mask_;
  min_count_ = walked_capacity_ - count_bits(walked);
  outside_min_ = 0;

  for (std::size_t w = 0; w < walked.size(); ++w) {
    Word outside = ~walked[w];
    if (w + 1 == walked.size()) outside &= last_word_mask_;
    for (; outside != 0; outside &= outside - 1) {
      const std::size_t x = w * 64 + static_cast<std::size_t>(std::countr_zero(outside));
      build_candidate(other, x);
      if (blocked_by_min(x)) {
        min_[x / 64] &= ~(Word{1} << (x % 64));
        --min_count_;
        ++outside_min_;
        continue;
      }
      const std::uint32_t j = neighbour_index(i, x);
      edges.push_back(side_ == NeighbourSide::Attributes ? CoverEdge{j, i} : CoverEdge{i, j});
    }
  }
}

}  // namespace tessara::core
