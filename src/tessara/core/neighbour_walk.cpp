#include "tessara/core/neighbour_walk.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "tessara/core/fault.hpp"

namespace tessara::core {
namespace {

constexpr const char* kNotALattice = "covering relation needs every concept of one context";

PackedSets walked_columns(PackedSets attribute_columns, NeighbourSide side) {
  return side == NeighbourSide::Attributes ? attribute_columns : attribute_columns.transposed();
}

}  // namespace

NeighbourWalk::NeighbourWalk(const ConceptList& concepts, NeighbourSide side)
    : NeighbourWalk(concepts, side, attribute_columns_of(concepts), 0) {}

NeighbourWalk::NeighbourWalk(const ConceptList& concepts, NeighbourSide side, PackedSets attribute_columns,
                             std::uint64_t min_support)
    : concepts_(concepts),
      side_(side),
      columns_(walked_columns(std::move(attribute_columns), side)),
      rows_(columns_.transposed()),
      index_(concepts),
      min_support_(min_support),
      walked_capacity_(columns_.size()),
      last_word_mask_(walked_capacity_ % 64 == 0 ? ~Word{0} : (Word{1} << (walked_capacity_ % 64)) - 1),
      candidate_words_(columns_.stride()),
      candidate_bits_(columns_.stride()),
      min_(rows_.stride()),
      scratch_(rows_.stride()),
      key_(concepts.intent_stride()),
      compact_candidates_(walked_capacity_ * kCompactWords, Word{0}),
      extent_(concepts.extent_stride()) {}

NeighbourWalk::NeighbourWalk(const ConceptList& concepts, PackedSets attribute_columns, std::uint64_t min_support,
                             std::vector<std::size_t> row_offsets, std::vector<std::uint32_t> row_attributes)
    : NeighbourWalk(concepts, NeighbourSide::Attributes, std::move(attribute_columns), min_support) {
  row_offsets_ = std::move(row_offsets);
  row_attributes_ = std::move(row_attributes);
  candidate_sizes_.resize(static_cast<std::size_t>(concepts.n_attributes()));
}

// Both read concept i's extent from extent_, which visit(i) has filled.
std::span<const NeighbourWalk::Word> NeighbourWalk::walked_set(std::uint32_t i) const {
  return side_ == NeighbourSide::Attributes ? index_.intents()[i] : std::span<const Word>(extent_);
}

std::span<const NeighbourWalk::Word> NeighbourWalk::other_set(std::uint32_t i) const {
  return side_ == NeighbourSide::Attributes ? std::span<const Word>(extent_) : index_.intents()[i];
}

// The candidate is the other set of the concept intersected with x', kept as
// its non-zero words only: it lies inside the concept's other set, so only
// that set's non-zero words can contribute. The buffers hold a whole set, so
// each word is written without a branch and counted only when non-zero.
void NeighbourWalk::build_candidate(std::span<const Word> other, std::size_t x) {
  const Word* column = columns_[x].data();
  std::uint32_t* words = candidate_words_.data();
  Word* bits = candidate_bits_.data();
  std::size_t size = 0;
  for (const std::uint32_t w : nonzero_words_) {
    const Word word = other[w] & column[w];
    words[size] = w;
    bits[size] = word;
    size += word != 0 ? 1 : 0;
  }
  candidate_size_ = size;
}

// Whether intersecting the candidate's rows (its size times a row's words)
// costs no more than `budget`. The size is counted only when the number of
// non-zero words, a lower bound of it, leaves the question open.
bool NeighbourWalk::rows_cost_within(std::uint64_t budget) const {
  const std::uint64_t stride = std::max<std::uint64_t>(rows_.stride(), 1);
  if (candidate_size_ * stride > budget) return false;
  return count_bits(std::span<const Word>(candidate_bits_.data(), candidate_size_)) <= budget / stride;
}

bool NeighbourWalk::candidate_within(std::span<const Word> set) const {
  for (std::size_t k = 0; k < candidate_size_; ++k)
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
    for (std::size_t k = 0; k < candidate_size_; ++k) {
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
    for (std::size_t k = 0; k < candidate_size_; ++k) key_[candidate_words_[k]] = candidate_bits_[k];
  } else if (rows_cost_within(outside_min_)) {
    std::fill(key_.begin(), key_.end(), ~Word{0});
    if (!key_.empty()) key_.back() &= last_word_mask_;
    for (std::size_t k = 0; k < candidate_size_; ++k) {
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
  const auto index = index_.find(key_);
  if (index) return *index;
  if (side_ == NeighbourSide::Attributes && candidate_is_infrequent()) return kLeftOut;
  throw InternalFault(kNotALattice);
}

// On the attribute side the candidate is the neighbour's extent.
bool NeighbourWalk::candidate_is_infrequent() const noexcept {
  return count_bits(std::span<const Word>(candidate_bits_.data(), candidate_size_)) < min_support_;
}

std::uint32_t NeighbourWalk::found(std::span<const Word> key) const {
  const auto index = index_.find(key);
  if (!index) throw InternalFault(kNotALattice);
  return *index;
}

// x lies in the walked set exactly when every member relates to it; the
// others get their candidate from the members' rows.
void NeighbourWalk::build_compact_candidates(std::span<const Word> walked) {
  touched_.clear();
  for (std::size_t k = 0; k < members_.size(); ++k) {
    const Word bit = Word{1} << (k % 64);
    const auto row = rows_[members_[k]];
    for (std::size_t w = 0; w < row.size(); ++w) {
      for (Word rest = row[w] & ~walked[w]; rest != 0; rest &= rest - 1) {
        const std::size_t x = w * 64 + static_cast<std::size_t>(std::countr_zero(rest));
        Word* candidate = compact_candidates_.data() + x * kCompactWords;
        if (std::all_of(candidate, candidate + kCompactWords, [](Word v) { return v == 0; }))
          touched_.push_back(static_cast<std::uint32_t>(x));
        candidate[k / 64] |= bit;
      }
    }
  }
}

void NeighbourWalk::clear_compact_candidates() {
  for (const std::uint32_t x : touched_)
    std::fill_n(compact_candidates_.data() + static_cast<std::size_t>(x) * kCompactWords, kCompactWords, Word{0});
}

template <std::size_t Words>
void NeighbourWalk::visit_compact(std::uint32_t i, std::span<const Word> walked, std::vector<CoverEdge>& edges) {
  using Compact = std::array<Word, Words>;
  const auto candidate_of = [&](std::size_t x) -> Compact& {
    return *reinterpret_cast<Compact*>(compact_candidates_.data() + x * kCompactWords);
  };
  const auto within = [](const Compact& a, const Compact& b) {
    Word outside = 0;
    for (std::size_t w = 0; w < Words; ++w) outside |= a[w] & ~b[w];
    return outside == 0;
  };
  const auto is_empty = [](const Compact& a) {
    Word any = 0;
    for (std::size_t w = 0; w < Words; ++w) any |= a[w];
    return any == 0;
  };
  // Calls visit(s) for the member s behind each bit of a, while visit returns true.
  const auto for_each_member = [&](const Compact& a, auto&& visit) {
    for (std::size_t v = 0; v < Words; ++v) {
      for (Word rest = a[v]; rest != 0; rest &= rest - 1)
        if (!visit(members_[v * 64 + static_cast<std::size_t>(std::countr_zero(rest))])) return;
    }
  };
  for (std::size_t w = 0; w < min_.size(); ++w) min_[w] = ~walked[w];
  if (!min_.empty()) min_.back() &= last_word_mask_;
  min_count_ = walked_capacity_ - count_bits(walked);

  const auto in_min = [&](std::size_t y) { return ((min_[y / 64] >> (y % 64)) & 1u) != 0; };
  for (std::size_t w = 0; w < walked.size(); ++w) {
    Word outside = ~walked[w];
    if (w + 1 == walked.size()) outside &= last_word_mask_;
    for (; outside != 0; outside &= outside - 1) {
      const std::size_t x = w * 64 + static_cast<std::size_t>(std::countr_zero(outside));
      const Compact& candidate = candidate_of(x);
      // On the attribute side the candidate is the neighbour's extent; an
      // infrequent one is skipped as in the walk below.
      if (side_ == NeighbourSide::Attributes && min_support_ > 0 &&
          count_bits(std::span<const Word>(candidate)) < min_support_)
        continue;
      const bool empty = is_empty(candidate);
      // An empty candidate lies in every element's column; a non-empty one
      // only in those of elements whose candidate holds it: for a candidate
      // of one or two members, the elements of min left after intersecting
      // their rows, otherwise those found among the non-empty candidates.
      bool blocked = false;
      if (empty) {
        blocked = min_count_ >= 2;
      } else if (count_bits(std::span<const Word>(candidate)) <= 2) {
        std::copy(min_.begin(), min_.end(), scratch_.begin());
        scratch_[x / 64] &= ~(Word{1} << (x % 64));
        for_each_member(candidate, [&](std::uint32_t s) {
          const auto row = rows_[s];
          for (std::size_t v = 0; v < scratch_.size(); ++v) scratch_[v] &= row[v];
          return true;
        });
        blocked = !no_bits(scratch_);
      } else {
        for (const std::uint32_t y : touched_) {
          if (y != x && in_min(y) && within(candidate, candidate_of(y))) {
            blocked = true;
            break;
          }
        }
      }
      if (blocked) {
        min_[x / 64] &= ~(Word{1} << (x % 64));
        --min_count_;
        continue;
      }
      // The neighbour's intent: on the object side the candidate's members;
      // on the attribute side the walked set with every element whose
      // candidate holds this one (all of them for the empty candidate).
      if (side_ == NeighbourSide::Objects) {
        std::fill(key_.begin(), key_.end(), Word{0});
        for_each_member(candidate, [&](std::uint32_t s) {
          key_[s / 64] |= Word{1} << (s % 64);
          return true;
        });
      } else if (empty) {
        std::fill(key_.begin(), key_.end(), ~Word{0});
        if (!key_.empty()) key_.back() &= last_word_mask_;
      } else {
        std::copy(walked.begin(), walked.end(), key_.begin());
        for (const std::uint32_t y : touched_)
          if (within(candidate, candidate_of(y))) key_[y / 64] |= Word{1} << (y % 64);
      }
      const std::uint32_t j = found(key_);
      edges.push_back(side_ == NeighbourSide::Attributes ? CoverEdge{j, i} : CoverEdge{i, j});
    }
  }
  clear_compact_candidates();
}

void NeighbourWalk::visit(std::uint32_t i, std::vector<CoverEdge>& edges) {
  concepts_.extent_into(i, extent_);
  const auto walked = walked_set(i);
  const auto other = other_set(i);
  // The compact walk pays off when the other set is small but spread over
  // more words than a compact candidate has: the walk below visits each of
  // those words for every element.
  const std::uint64_t other_size = count_bits(other);
  const auto spread =
      static_cast<std::uint64_t>(std::count_if(other.begin(), other.end(), [](Word w) { return w != 0; }));
  if (other_size <= 64 * kCompactWords && spread > kCompactWords) {
    members_.clear();
    for_each_bit(other, [&](std::uint32_t s) { members_.push_back(s); });
    build_compact_candidates(walked);
    switch ((other_size + 63) / 64) {
      case 0:
      case 1:
        return visit_compact<1>(i, walked, edges);
      case 2:
        return visit_compact<2>(i, walked, edges);
      case 3:
        return visit_compact<3>(i, walked, edges);
      default:
        return visit_compact<4>(i, walked, edges);
    }
  }
  nonzero_words_.clear();
  for (std::size_t w = 0; w < other.size(); ++w)
    if (other[w] != 0) nonzero_words_.push_back(static_cast<std::uint32_t>(w));
  for (std::size_t w = 0; w < min_.size(); ++w) min_[w] = ~walked[w];
  if (!min_.empty()) min_.back() &= last_word_mask_;
  min_count_ = walked_capacity_ - count_bits(walked);
  outside_min_ = 0;
  // An attribute whose candidate is infrequent gives no neighbour here, and
  // never blocks a frequent candidate (that would be a subset of its own), so
  // it is skipped, left in min.
  const bool counting = !row_offsets_.empty();
  if (counting) {
    std::fill(candidate_sizes_.begin(), candidate_sizes_.end(), std::uint64_t{0});
    for_each_bit(other, [&](std::uint32_t g) {
      for (std::size_t k = row_offsets_[g]; k < row_offsets_[g + 1]; ++k) ++candidate_sizes_[row_attributes_[k]];
    });
  }

  for (std::size_t w = 0; w < walked.size(); ++w) {
    Word outside = ~walked[w];
    if (w + 1 == walked.size()) outside &= last_word_mask_;
    for (; outside != 0; outside &= outside - 1) {
      const std::size_t x = w * 64 + static_cast<std::size_t>(std::countr_zero(outside));
      if (counting && candidate_sizes_[x] < min_support_) continue;
      build_candidate(other, x);
      if (blocked_by_min(x)) {
        min_[x / 64] &= ~(Word{1} << (x % 64));
        --min_count_;
        ++outside_min_;
        continue;
      }
      const std::uint32_t j = neighbour_index(i, x);
      if (j == kLeftOut) continue;
      edges.push_back(side_ == NeighbourSide::Attributes ? CoverEdge{j, i} : CoverEdge{i, j});
    }
  }
}

}  // namespace tessara::core
