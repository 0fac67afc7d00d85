#include "tessara/engine/in_close5_kernel.hpp"

#include <algorithm>
#include <bit>
#include <deque>
#include <limits>
#include <vector>

#include "tessara/engine/occurrences.hpp"
#include "tessara/engine/run_control.hpp"
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
// A third fact, `infrequent`: the intersection held fewer objects than the
// minimum support, and so do the descendants' (no child, and k stays outside
// their intents, whose extents are larger).
struct Known {
  std::uint32_t witness = kNoWitness;
  bool empty = false;
  bool infrequent = false;
};

Known known_of(const InheritedFact& fact) noexcept {
  return Known{fact.word, (fact.flags & InheritedFact::kEmpty) != 0, (fact.flags & InheritedFact::kInfrequent) != 0};
}

InheritedFact fact_of(const Known& known) noexcept {
  return InheritedFact{known.witness,
                       (known.empty ? InheritedFact::kEmpty : 0u) | (known.infrequent ? InheritedFact::kInfrequent : 0u),
                       0};
}

constexpr Known kInfrequent{kNoWitness, false, true};

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

class Walk final : public TaskWalker {
 public:
  Walk(const WalkData& data, std::uint64_t min_support)
      : data_(data),
        n_(data.n_attributes),
        extent_words_(data.extent_words),
        intent_words_(data.intent_words),
        min_support_(min_support),
        nothing_known_(n_) {}

  void run(const WalkTask& task, WalkHost& host) override {
    core::ConceptList* out = &host.output();
    const std::uint64_t checkpoint_work = host.checkpoint_work();
    Level& root = level_at(0);
    words::copy(root.intent.data(), task.intent.data(), intent_words_);
    const Known* inherited = nothing_known_.data();
    if (!task.inherited.empty()) {
      task_known_.resize(n_);
      for (std::size_t k = 0; k < n_; ++k) task_known_[k] = known_of(task.inherited[k]);
      inherited = task_known_.data();
    }
    std::uint64_t work =
        expand(task.extent.data(), words::nonzero_range(task.extent.data(), 0, extent_words_), task.start, inherited,
               root);
    out->append(task.extent, root.intent);

    std::size_t depth = 0;
    while (true) {
      if (work >= checkpoint_work) {
        work = 0;
        if (!host.checkpoint()) return;
        out = &host.output();
        if (host.wants_work()) donate(depth, host);
      }
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
      work += expand(extent, level.ranges[i], std::uint64_t{level.attributes[i]} + 1, level.known.data(), next);
      const core::ConceptList::Slot slot = out->append_slot();
      words::copy_spread(slot.extent.data(), extent, level.ranges[i], extent_words_);
      words::copy(slot.intent.data(), next.intent.data(), intent_words_);
      ++depth;
    }
  }

 private:
  // Gives the children still waiting at the shallowest level that has any to
  // the host, one task each, in visiting order.
  void donate(std::size_t depth, WalkHost& host) {
    for (std::size_t d = 0; d <= depth; ++d) {
      Level& level = levels_[d];
      if (level.taken == level.count) continue;
      std::vector<InheritedFact> inherited(n_);
      for (std::size_t k = 0; k < n_; ++k) inherited[k] = fact_of(level.known[k]);
      std::vector<WalkTask> tasks;
      tasks.reserve(level.count - level.taken);
      for (std::size_t i = level.taken; i < level.count; ++i) {
        WalkTask& task = tasks.emplace_back();
        task.kind = WalkKind::kInClose5;
        task.start = level.attributes[i] + 1;
        task.extent.resize(extent_words_);
        words::copy_spread(task.extent.data(), level.extents.data() + i * extent_words_, level.ranges[i],
                           extent_words_);
        task.intent = level.intent;
        words::set_bit(task.intent.data(), level.attributes[i]);
        task.inherited = inherited;
      }
      level.taken = level.count;
      host.donate(std::move(tasks));
      return;
    }
  }

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

  const Word* column(std::uint64_t j) const noexcept { return data_.columns.column(j).data(); }

  // Tries attributes start.. on the concept with this extent, whose intent
  // (level.intent) is known below start: an attribute whose column holds the
  // extent joins the intent at once; any other gives a candidate extent,
  // queued as a child when no column below it outside the intent holds it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  __attribute__((target_clones("popcnt", "default")))
#endif
  std::uint64_t
  expand(const Word* extent, Range range, std::uint64_t start, const Known* inherited, Level& level) {
    level.count = 0;
    level.taken = 0;
    Word* intent = level.intent.data();
    // An extent whose objects have fewer attributes in all than the columns
    // would cost is listed and delivered into one bucket per attribute (bucket
    // k is the candidate's extent), and a candidate is tested on its objects'
    // rows.
    const std::uint64_t members = words::count_in(extent, range);
    const std::uint64_t tries = n_ - std::min(start, n_);
    const ListingChoice listing = choose_listing(members, range.hi - range.lo, tries, data_.lists.mean_row());
    const bool sparse = listing.listed;
    const bool deliver = listing.deliver;
    if (sparse) words::list_members(extent, range, level.objects, level.picked);
    if (deliver) buckets_.deliver(data_.lists, level.objects, start, n_);
    for (std::uint64_t k = start; k < n_; ++k) {
      if (words::has_bit(intent, k)) continue;
      const Known known = inherited[k];
      if (known.infrequent || (known.witness != kNoWitness && !words::has_bit(intent, known.witness))) {
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
        const std::span<const std::uint32_t> bucket =
            deliver ? buckets_.bucket(k)
                    : std::span<const std::uint32_t>(
                          level.picked.data(), known.empty ? 0 : words::filter_listed(level.objects, column(k), level.picked));
        const std::size_t picked = bucket.size();
        if (picked == level.objects.size()) {
          words::set_bit(intent, k);
          continue;
        }
        if (picked < min_support_) {
          level.known[k] = kInfrequent;
          continue;
        }
        const std::uint32_t witness =
            picked == 0 ? first_missing_below(intent, k) : first_gained_below_listed(bucket.data(), picked, intent, k);
        level.known[k] = Known{witness, picked == 0};
        if (witness != kNoWitness) continue;
        level.ranges[level.count] = words::write_listed(bucket.data(), picked, child);
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
      if (min_support_ > 0 && words::count_in(child, child_range) < min_support_) {
        level.known[k] = kInfrequent;
        continue;
      }
      const std::uint32_t witness =
          child_range.empty() ? first_missing_below(intent, k) : first_holding_column(child, child_range, intent, k);
      level.known[k] = Known{witness, child_range.empty()};
      if (witness != kNoWitness) continue;
      level.ranges[level.count] = child_range;
      level.attributes[level.count] = static_cast<std::uint32_t>(k);
      ++level.count;
    }
    return (n_ - std::min(start, n_)) * (1 + (range.hi - range.lo) / 16);
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

  // The same for a child extent given as its objects: the AND of their rows
  // below k outside the intent, which stops once it is empty (canonical).
  std::uint32_t first_gained_below_listed(const std::uint32_t* objects, std::size_t count, const Word* intent,
                                          std::uint64_t k) {
    const std::size_t words_below = static_cast<std::size_t>((k + 63) / 64);
    gained_.resize(words_below);
    for (std::size_t w = 0; w < words_below; ++w) gained_[w] = ~intent[w] & words::below_mask(w, k);
    for (std::size_t o = 0; o < count; ++o) {
      const Word* row = data_.rows.data() + std::size_t{objects[o]} * intent_words_;
      Word left = 0;
      for (std::size_t w = 0; w < words_below; ++w) left |= (gained_[w] &= row[w]);
      if (left == 0) return kNoWitness;
    }
    for (std::size_t w = 0; w < words_below; ++w)
      if (gained_[w] != 0) return static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(gained_[w])));
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

  const WalkData& data_;
  const std::uint64_t n_;
  const std::size_t extent_words_;
  const std::size_t intent_words_;
  const std::uint64_t min_support_;
  const std::vector<Known> nothing_known_;
  std::vector<Known> task_known_;
  std::deque<Level> levels_;
  OccurrenceBuckets buckets_;
  std::vector<Word> gained_;
};

}  // namespace

std::unique_ptr<TaskWalker> make_in_close5_walker(const WalkData& data, std::uint64_t min_support) {
  return std::make_unique<Walk>(data, min_support);
}

}  // namespace tessara::engine
