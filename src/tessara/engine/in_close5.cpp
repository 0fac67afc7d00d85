#include "tessara/engine/in_close5.hpp"

#include <bit>
#include <deque>
#include <limits>
#include <vector>

#include "tessara/core/columns.hpp"
#include "tessara/engine/generation_event.hpp"
#include "tessara/engine/word_ops.hpp"

namespace tessara::engine {
namespace {

using words::Range;
using words::Word;

constexpr std::uint32_t kNoWitness = std::numeric_limits<std::uint32_t>::max();

// What a concept learnt about attribute k for its descendants, whose extents
// are subsets of its own: when its extent met column k in nothing, theirs do
// too (`empty`), and when the intersection was not canonical because column
// `witness` (below k, outside the intent) holds it, theirs fail on the same
// witness as long as it is outside their intents.
struct Known {
  std::uint32_t witness = kNoWitness;
  bool empty = false;
};

// One depth of the walk: the intent of the concept being expanded here (grown
// in place while its candidates are tried), the child extents it generated
// and what it learnt for them. Reused by every concept expanded at this depth.
struct Level {
  std::vector<Word> intent;
  std::vector<Word> extents;
  std::vector<Range> ranges;  // where each child extent has members; its other words are stale
  std::vector<std::uint32_t> attributes;
  std::size_t count = 0;
  std::size_t taken = 0;
  std::vector<Known> known;  // indexed by attribute
  // A sparse extent being expanded, as its objects, and the objects of one candidate.
  std::vector<std::uint32_t> objects;
  std::vector<std::uint32_t> picked;
};

class Walk {
 public:
  explicit Walk(const core::Context& context)
      : columns_(context),
        n_(context.n_attributes()),
        extent_words_(columns_.words_per_column()),
        intent_words_(core::AttributeSet::word_count(n_)) {}

  core::ConceptList run(const core::Context& context) {
    core::ConceptList out(context.n_objects(), n_);
    const core::ObjectSet all_objects = core::ObjectSet::full(context.n_objects());
    const core::AttributeSet top_intent = context.intent_of(all_objects);
    Level& root = level_at(0);
    words::copy(root.intent.data(), top_intent.words().data(), intent_words_);
    const std::vector<Known> nothing_known(n_);
    expand(all_objects.words().data(), words::nonzero_range(all_objects.words().data(), 0, extent_words_), 0,
           nothing_known.data(), root);
    out.append(all_objects.words(), root.intent);

    std::size_t depth = 0;
    while (true) {
      Level& level = levels_[depth];
      if (level.taken == level.count) {
        if (depth == 0) break;
        --depth;
        continue;
      }
      const std::size_t i = level.taken++;
      const Word* extent = level.extents.data() + i * extent_words_;
      Level& next = level_at(depth + 1);
      words::copy(next.intent.data(), level.intent.data(), intent_words_);
      words::set_bit(next.intent.data(), level.attributes[i]);
      expand(extent, level.ranges[i], std::uint64_t{level.attributes[i]} + 1, level.known.data(), next);
      const Range range = level.ranges[i];
      out.append_spanning(range.lo, {extent + range.lo, range.hi - range.lo}, {next.intent.data(), intent_words_});
      ++depth;
    }
    return out;
  }

 private:
  // A deque, so the levels above stay where they are while a new one is added.
  Level& level_at(std::size_t depth) {
    while (levels_.size() <= depth) {
      Level& level = levels_.emplace_back();
      level.intent.resize(intent_words_);
      level.known.resize(n_);
    }
    return levels_[depth];
  }

  void make_room(Level& level) const {
    if (level.count < level.attributes.size()) return;
    const std::size_t capacity = level.attributes.empty() ? 8 : 2 * level.attributes.size();
    level.extents.resize(capacity * extent_words_);
    level.ranges.resize(capacity);
    level.attributes.resize(capacity);
  }

  const Word* column(std::uint64_t j) const noexcept { return columns_.column(j).data(); }

  // Tries attributes start.. on the concept with this extent, whose intent
  // (level.intent) is known below start: an attribute whose column holds the
  // extent joins the intent at once; any other gives a candidate extent,
  // queued as a child when no column below it outside the intent holds it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  __attribute__((target_clones("popcnt", "default")))
#endif
  void
  expand(const Word* extent, Range range, std::uint64_t start, const Known* inherited, Level& level) {
    level.count = 0;
    level.taken = 0;
    Word* intent = level.intent.data();
    // An extent with far fewer objects than words is intersected and tested
    // object by object: one probe of a column per object.
    const bool sparse = words::count_in(extent, range) * 8 <= range.hi - range.lo;
    if (sparse) words::list_members(extent, range, level.objects, level.picked);
    for (std::uint64_t k = start; k < n_; ++k) {
      if (words::has_bit(intent, k)) continue;
      const Known known = inherited[k];
      if (known.witness != kNoWitness && !words::has_bit(intent, known.witness)) {
        level.known[k] = known;
        continue;
      }
      make_room(level);
      Word* child = level.extents.data() + level.count * extent_words_;
      Range child_range{0, 0};
      if (range.empty()) {
        // Every column holds the empty extent.
        words::set_bit(intent, k);
        continue;
      }
      if (sparse) {
        const std::size_t picked = known.empty ? 0 : words::filter_listed(level.objects, column(k), level.picked);
        if (picked == level.objects.size()) {
          words::set_bit(intent, k);
          continue;
        }
        const std::uint32_t witness = picked == 0 ? first_missing_below(intent, k)
                                                  : first_column_holding_listed(level.picked.data(), picked, intent, k);
        level.known[k] = Known{witness, picked == 0};
        if (witness != kNoWitness) continue;
        level.ranges[level.count] = words::write_listed(level.picked.data(), picked, child);
        level.attributes[level.count] = static_cast<std::uint32_t>(k);
        ++level.count;
        continue;
      }
      if (!known.empty) {
        if (words::intersect_in(child, extent, column(k), range)) {
          words::set_bit(intent, k);
          continue;
        }
        child_range = words::nonzero_range(child, range.lo, range.hi);
      }
      const std::uint32_t witness =
          child_range.empty() ? first_missing_below(intent, k) : first_holding_column(child, child_range, intent, k);
      level.known[k] = Known{witness, child_range.empty()};
      if (witness != kNoWitness) continue;
      level.ranges[level.count] = child_range;
      level.attributes[level.count] = static_cast<std::uint32_t>(k);
      ++level.count;
    }
  }

  // The smallest attribute below k outside the intent: every column holds the
  // empty extent, so it is the first witness against it.
  std::uint32_t first_missing_below(const Word* intent, std::uint64_t k) const {
    for (std::size_t w = 0; w * 64 < k; ++w) {
      const Word missing = ~intent[w] & words::below_mask(w, k);
      if (missing != 0) return static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(missing)));
    }
    return kNoWitness;
  }

  // The same for a child extent given as its objects.
  std::uint32_t first_column_holding_listed(const std::uint32_t* objects, std::size_t count, const Word* intent,
                                            std::uint64_t k) const {
    for (std::size_t w = 0; w * 64 < k; ++w) {
      Word candidates = ~intent[w] & words::below_mask(w, k);
      while (candidates != 0) {
        const auto i = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(candidates)));
        candidates &= candidates - 1;
        const Word* holder = column(i);
        std::size_t held = 0;
        while (held < count && words::has_bit(holder, objects[held])) ++held;
        if (held == count) return i;
      }
    }
    return kNoWitness;
  }

  // The first attribute below k outside the intent whose column holds the
  // child extent (the closure would gain it: not canonical), or none.
  std::uint32_t first_holding_column(const Word* child, Range child_range, const Word* intent, std::uint64_t k) const {
    for (std::size_t w = 0; w * 64 < k; ++w) {
      Word candidates = ~intent[w] & words::below_mask(w, k);
      while (candidates != 0) {
        const auto i = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(candidates)));
        candidates &= candidates - 1;
        if (words::subset_in(child, column(i), child_range)) return i;
      }
    }
    return kNoWitness;
  }

  const core::AttributeColumns columns_;
  const std::uint64_t n_;
  const std::size_t extent_words_;
  const std::size_t intent_words_;
  std::deque<Level> levels_;
};

}  // namespace

core::ConceptLattice InClose5::compute(const core::Context& context) const {
  Walk walk(context);
  core::ConceptLattice lattice{walk.run(context), std::nullopt};
  emit_generation_complete("tessara_engine::in_close5", name(), lattice, context);
  return lattice;
}

}  // namespace tessara::engine
