#include "tessara/engine/fcbo_kernel.hpp"

#include <bit>
#include <deque>
#include <vector>

#include "tessara/core/columns.hpp"
#include "tessara/engine/word_ops.hpp"

namespace tessara::engine {
namespace {

using words::Range;
using words::Word;

// A closure D that failed the canonicity test at attribute j of a concept
// with intent B: `bits` are the members of D \ B below j in word `word` (the
// first word holding any). A descendant with intent B' >= B would close to a
// superset of D, so while some of these bits are still outside B' it fails
// too and is skipped. bits == 0 means nothing is known.
struct Failure {
  std::uint32_t word = 0;
  Word bits = 0;
};

// The children found at one concept, waiting to be visited, and the failures
// recorded there for them. Reused by every concept expanded at this depth.
struct Level {
  std::vector<Word> extents;
  std::vector<Word> intents;
  std::vector<Range> ranges;  // where each child extent has members; its other words are stale
  std::vector<std::uint32_t> attributes;
  std::size_t count = 0;
  std::size_t taken = 0;
  std::vector<Failure> failures;  // indexed by attribute
  // A sparse extent being expanded, as its objects, and the objects of one candidate.
  std::vector<std::uint32_t> objects;
  std::vector<std::uint32_t> picked;
};

class Walk {
 public:
  Walk(const core::Context& context, ChildOrder order)
      : columns_(context),
        n_(context.n_attributes()),
        extent_words_(columns_.words_per_column()),
        intent_words_(core::AttributeSet::word_count(n_)),
        order_(order) {
    rows_.reserve(context.n_objects() * intent_words_);
    for (const core::AttributeSet& row : context.rows())
      rows_.insert(rows_.end(), row.words().begin(), row.words().end());
    last_word_mask_ = n_ % 64 == 0 ? ~Word{0} : (Word{1} << (n_ % 64)) - 1;
  }

  core::ConceptList run(const core::Context& context) {
    core::ConceptList out(context.n_objects(), n_);
    const core::ObjectSet all_objects = core::ObjectSet::full(context.n_objects());
    const core::AttributeSet top_intent = context.intent_of(all_objects);
    out.append(all_objects.words(), top_intent.words());

    const std::vector<Failure> nothing_known(n_);
    expand(all_objects.words().data(), words::nonzero_range(all_objects.words().data(), 0, extent_words_),
           top_intent.words().data(), 0, nothing_known.data(), level_at(0));
    std::size_t depth = 0;
    while (true) {
      Level& level = levels_[depth];
      if (level.taken == level.count) {
        if (depth == 0) break;
        --depth;
        continue;
      }
      const std::size_t i = order_ == ChildOrder::kAscending ? level.taken : level.count - 1 - level.taken;
      ++level.taken;
      const Word* extent = level.extents.data() + i * extent_words_;
      const Word* intent = level.intents.data() + i * intent_words_;
      const Range range = level.ranges[i];
      out.append_spanning(range.lo, {extent + range.lo, range.hi - range.lo}, {intent, intent_words_});
      expand(extent, level.ranges[i], intent, std::uint64_t{level.attributes[i]} + 1, level.failures.data(),
             level_at(depth + 1));
      ++depth;
    }
    return out;
  }

 private:
  // A deque, so the levels above stay where they are while a new one is added.
  Level& level_at(std::size_t depth) {
    while (levels_.size() <= depth) levels_.emplace_back().failures.resize(n_);
    return levels_[depth];
  }

  void make_room(Level& level) const {
    if (level.count < level.attributes.size()) return;
    const std::size_t capacity = level.attributes.empty() ? 8 : 2 * level.attributes.size();
    level.extents.resize(capacity * extent_words_);
    level.intents.resize(capacity * intent_words_);
    level.ranges.resize(capacity);
    level.attributes.resize(capacity);
  }

  const Word* column(std::uint64_t j) const noexcept { return columns_.column(j).data(); }

  // Closes every candidate of the concept (extent, intent) from attribute
  // `start` on and queues the canonical ones in `level`.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  __attribute__((target_clones("popcnt", "default")))
#endif
  void
  expand(const Word* extent, Range range, const Word* intent, std::uint64_t start, const Failure* inherited,
         Level& level) {
    level.count = 0;
    level.taken = 0;
    // An extent with far fewer objects than words is tried object by object: a
    // candidate costs a probe of column j per object and the AND of the rows
    // of the objects kept, and its words are written only when it is kept.
    const std::uint64_t members = words::count_in(extent, range);
    const bool sparse = members * 8 <= range.hi - range.lo && members * intent_words_ <= n_;
    if (sparse) words::list_members(extent, range, level.objects, level.picked);
    for (std::uint64_t j = start; j < n_; ++j) {
      if (words::has_bit(intent, j)) continue;
      const Failure known = inherited[j];
      if ((known.bits & ~intent[known.word]) != 0) {
        level.failures[j] = known;
        continue;
      }
      make_room(level);
      Word* child = level.extents.data() + level.count * extent_words_;
      Word* closure = level.intents.data() + level.count * intent_words_;
      if (sparse) {
        const std::size_t picked = words::filter_listed(level.objects, column(j), level.picked);
        close_by_listed_rows(level.picked.data(), picked, closure);
        const Failure failure = gained_below(closure, intent, j);
        level.failures[j] = failure;
        if (failure.bits != 0) continue;
        level.ranges[level.count] = words::write_listed(level.picked.data(), picked, child);
        level.attributes[level.count] = static_cast<std::uint32_t>(j);
        ++level.count;
        continue;
      }
      words::intersect_in(child, extent, column(j), range);
      const Range child_range = words::nonzero_range(child, range.lo, range.hi);
      Failure failure;
      if (words::count_in(child, child_range) * intent_words_ <= n_) {
        // Few objects: their rows give the whole closure quicker than the columns.
        close_by_rows(child, child_range, closure);
        failure = gained_below(closure, intent, j);
      } else {
        failure = first_failure(child, child_range, intent, j);
        if (failure.bits == 0) close_above(child, child_range, intent, j, closure);
      }
      level.failures[j] = failure;
      if (failure.bits != 0) continue;
      level.ranges[level.count] = child_range;
      level.attributes[level.count] = static_cast<std::uint32_t>(j);
      ++level.count;
    }
  }

  // closure = the attributes every listed object has.
  void close_by_listed_rows(const std::uint32_t* objects, std::size_t count, Word* closure) const {
    if (intent_words_ == 1) return close_by_listed_rows_fixed<1>(objects, count, closure);
    if (intent_words_ == 2) return close_by_listed_rows_fixed<2>(objects, count, closure);
    for (std::size_t w = 0; w < intent_words_; ++w) closure[w] = ~Word{0};
    closure[intent_words_ - 1] = last_word_mask_;
    for (std::size_t k = 0; k < count; ++k) {
      const Word* row = rows_.data() + std::size_t{objects[k]} * intent_words_;
      for (std::size_t v = 0; v < intent_words_; ++v) closure[v] &= row[v];
    }
  }

  template <std::size_t kWords>
  void close_by_listed_rows_fixed(const std::uint32_t* objects, std::size_t count, Word* closure) const {
    Word running[kWords];
    for (std::size_t v = 0; v < kWords; ++v) running[v] = ~Word{0};
    running[kWords - 1] = last_word_mask_;
    for (std::size_t k = 0; k < count; ++k) {
      const Word* row = rows_.data() + std::size_t{objects[k]} * kWords;
      for (std::size_t v = 0; v < kWords; ++v) running[v] &= row[v];
    }
    for (std::size_t v = 0; v < kWords; ++v) closure[v] = running[v];
  }

  // closure = the attributes every object of `child` has, from the rows.
  void close_by_rows(const Word* child, Range child_range, Word* closure) const {
    // Up to two words the running intersection stays in registers.
    if (intent_words_ == 1) return close_by_rows_fixed<1>(child, child_range, closure);
    if (intent_words_ == 2) return close_by_rows_fixed<2>(child, child_range, closure);
    for (std::size_t w = 0; w < intent_words_; ++w) closure[w] = ~Word{0};
    closure[intent_words_ - 1] = last_word_mask_;
    for (std::size_t w = child_range.lo; w < child_range.hi; ++w) {
      Word objects = child[w];
      while (objects != 0) {
        const std::size_t g = w * 64 + static_cast<std::size_t>(std::countr_zero(objects));
        objects &= objects - 1;
        const Word* row = rows_.data() + g * intent_words_;
        for (std::size_t v = 0; v < intent_words_; ++v) closure[v] &= row[v];
      }
    }
  }

  template <std::size_t kWords>
  void close_by_rows_fixed(const Word* child, Range child_range, Word* closure) const {
    Word running[kWords];
    for (std::size_t v = 0; v < kWords; ++v) running[v] = ~Word{0};
    running[kWords - 1] = last_word_mask_;
    for (std::size_t w = child_range.lo; w < child_range.hi; ++w) {
      Word objects = child[w];
      while (objects != 0) {
        const Word* row = rows_.data() + (w * 64 + static_cast<std::size_t>(std::countr_zero(objects))) * kWords;
        objects &= objects - 1;
        for (std::size_t v = 0; v < kWords; ++v) running[v] &= row[v];
      }
    }
    for (std::size_t v = 0; v < kWords; ++v) closure[v] = running[v];
  }

  // The first word below j in which `closure` has attributes the intent lacks.
  Failure gained_below(const Word* closure, const Word* intent, std::uint64_t j) const {
    const std::size_t last_word = static_cast<std::size_t>(j / 64);
    for (std::size_t w = 0; w <= last_word && w < intent_words_; ++w) {
      const Word gained = closure[w] & ~intent[w] & words::below_mask(w, j);
      if (gained != 0) return Failure{static_cast<std::uint32_t>(w), gained};
    }
    return Failure{};
  }

  // The first word below j in which the closure of `child` gains attributes
  // the parent intent lacks, with all of that word's gained attributes; or
  // nothing when the closure agrees with the intent below j (canonical).
  Failure first_failure(const Word* child, Range child_range, const Word* intent, std::uint64_t j) const {
    const std::size_t last_word = static_cast<std::size_t>(j / 64);
    for (std::size_t w = 0; w <= last_word && w < intent_words_; ++w) {
      Word candidates = ~intent[w] & words::below_mask(w, j);
      Word gained = 0;
      while (candidates != 0) {
        const Word bit = candidates & (~candidates + 1);
        candidates ^= bit;
        const std::uint64_t i = std::uint64_t{w} * 64 + static_cast<std::uint64_t>(std::countr_zero(bit));
        if (words::subset_in(child, column(i), child_range)) gained |= bit;
      }
      if (gained != 0) return Failure{static_cast<std::uint32_t>(w), gained};
    }
    return Failure{};
  }

  // closure = intent ∪ {j} ∪ the attributes above j whose column holds child.
  void close_above(const Word* child, Range child_range, const Word* intent, std::uint64_t j, Word* closure) const {
    words::copy(closure, intent, intent_words_);
    words::set_bit(closure, j);
    for (std::size_t w = static_cast<std::size_t>(j / 64); w < intent_words_; ++w) {
      Word candidates = ~closure[w] & words::from_mask(w, j + 1) & words::below_mask(w, n_);
      while (candidates != 0) {
        const Word bit = candidates & (~candidates + 1);
        candidates ^= bit;
        const std::uint64_t i = std::uint64_t{w} * 64 + static_cast<std::uint64_t>(std::countr_zero(bit));
        if (words::subset_in(child, column(i), child_range)) closure[w] |= bit;
      }
    }
  }

  const core::AttributeColumns columns_;
  const std::uint64_t n_;
  const std::size_t extent_words_;
  const std::size_t intent_words_;
  const ChildOrder order_;
  std::vector<Word> rows_;  // the incidence rows, intent_words_ words each
  Word last_word_mask_ = 0;
  std::deque<Level> levels_;
};

}  // namespace

core::ConceptList fcbo_walk(const core::Context& context, ChildOrder order) {
  Walk walk(context, order);
  return walk.run(context);
}

}  // namespace tessara::engine
