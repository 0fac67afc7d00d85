#include "tessara/engine/fcbo_kernel.hpp"

#include <algorithm>
#include <bit>
#include <deque>
#include <vector>

#include "tessara/engine/occurrences.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/word_ops.hpp"

namespace tessara::engine {
namespace {

using words::Range;
using words::Word;

// A closure D that failed the canonicity test at attribute j of a concept
// with intent B: `bits` are the members of D \ B below j in word `word` (the
// first word holding any). A descendant with intent B' >= B would close to a
// superset of D, so while some of these bits are still outside B' it fails
// too and is skipped. bits == 0 means nothing is known. The flag kInfrequent
// says the candidate's extent was below the minimum support, which holds for
// every descendant's candidate too (its extent is a subset).
using Failure = InheritedFact;

bool is_infrequent(const Failure& failure) noexcept { return (failure.flags & InheritedFact::kInfrequent) != 0; }
constexpr Failure kInfrequentFailure{0, InheritedFact::kInfrequent, 0};

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

class Walk final : public TaskWalker {
 public:
  Walk(const WalkData& data, ChildOrder order, std::uint64_t min_support)
      : data_(data),
        n_(data.n_attributes),
        extent_words_(data.extent_words),
        intent_words_(data.intent_words),
        order_(order),
        min_support_(min_support),
        nothing_known_(n_) {
    last_word_mask_ = n_ % 64 == 0 ? ~Word{0} : (Word{1} << (n_ % 64)) - 1;
  }

  void run(const WalkTask& task, WalkHost& host) override {
    core::ConceptList* out = &host.output();
    const std::uint64_t checkpoint_work = host.checkpoint_work();
    out->append(task.extent, task.intent);
    const Failure* inherited = task.inherited.empty() ? nothing_known_.data() : task.inherited.data();
    std::uint64_t work = expand(task.extent.data(), words::nonzero_range(task.extent.data(), 0, extent_words_),
                                task.intent.data(), task.start, inherited, level_at(0));
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
      const std::size_t i = child_at(level, level.taken);
      ++level.taken;
      const Word* extent = level.extents.data() + i * extent_words_;
      const Word* intent = level.intents.data() + i * intent_words_;
      const core::ConceptList::Slot slot = out->append_slot();
      words::copy_spread(slot.extent.data(), extent, level.ranges[i], extent_words_);
      words::copy(slot.intent.data(), intent, intent_words_);
      work += expand(extent, level.ranges[i], intent, std::uint64_t{level.attributes[i]} + 1, level.failures.data(),
                     level_at(depth + 1));
      ++depth;
    }
  }

 private:
  // The index of the k-th child of a level in visiting order.
  std::size_t child_at(const Level& level, std::size_t k) const noexcept {
    return order_ == ChildOrder::kAscending ? k : level.count - 1 - k;
  }

  // Gives the children still waiting at the shallowest level that has any to
  // the host, one task each, in visiting order: they are listed after
  // everything else this walk still lists.
  void donate(std::size_t depth, WalkHost& host) {
    for (std::size_t d = 0; d <= depth; ++d) {
      Level& level = levels_[d];
      if (level.taken == level.count) continue;
      std::vector<WalkTask> tasks;
      tasks.reserve(level.count - level.taken);
      for (std::size_t k = level.taken; k < level.count; ++k) {
        const std::size_t i = child_at(level, k);
        WalkTask& task = tasks.emplace_back();
        task.kind = order_ == ChildOrder::kAscending ? WalkKind::kFcboAscending : WalkKind::kFcboDescending;
        task.start = level.attributes[i] + 1;
        task.extent.resize(extent_words_);
        words::copy_spread(task.extent.data(), level.extents.data() + i * extent_words_, level.ranges[i],
                           extent_words_);
        task.intent.assign(level.intents.data() + i * intent_words_, level.intents.data() + (i + 1) * intent_words_);
        task.inherited = level.failures;
      }
      level.taken = level.count;
      host.donate(std::move(tasks));
      return;
    }
  }

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

  const Word* column(std::uint64_t j) const noexcept { return data_.columns.column(j).data(); }

  // Closes every candidate of the concept (extent, intent) from attribute
  // `start` on and queues the canonical ones in `level`.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  __attribute__((target_clones("popcnt", "default")))
#endif
  std::uint64_t
  expand(const Word* extent, Range range, const Word* intent, std::uint64_t start, const Failure* inherited,
         Level& level) {
    level.count = 0;
    level.taken = 0;
    // An extent whose objects have fewer attributes in all than the columns
    // would cost is listed and its objects delivered into one bucket per
    // attribute: bucket j is the candidate's extent. A kept candidate's
    // closure is the AND of its objects' rows, and its words are written
    // only when it is kept.
    const std::uint64_t members = words::count_in(extent, range);
    const std::uint64_t tries = n_ - std::min(start, n_);
    const ListingChoice listing = choose_listing(members, range.hi - range.lo, tries, data_.lists.mean_row());
    const bool sparse = listing.listed;
    const bool deliver = listing.deliver;
    if (sparse) words::list_members(extent, range, level.objects, level.picked);
    if (deliver) buckets_.deliver(data_.lists, level.objects, start, n_);
    for (std::uint64_t j = start; j < n_; ++j) {
      if (words::has_bit(intent, j)) continue;
      const Failure known = inherited[j];
      if (is_infrequent(known) || (known.bits & ~intent[known.word]) != 0) {
        level.failures[j] = known;
        continue;
      }
      make_room(level);
      Word* child = level.extents.data() + level.count * extent_words_;
      Word* closure = level.intents.data() + level.count * intent_words_;
      if (sparse) {
        const std::span<const std::uint32_t> picked =
            deliver ? buckets_.bucket(j)
                    : std::span<const std::uint32_t>(level.picked.data(),
                                                     words::filter_listed(level.objects, column(j), level.picked));
        if (picked.size() < min_support_) {
          level.failures[j] = kInfrequentFailure;
          continue;
        }
        close_by_listed_rows(picked.data(), picked.size(), intent, j, closure);
        const Failure failure = gained_below(closure, intent, j);
        level.failures[j] = failure;
        if (failure.bits != 0) continue;
        level.ranges[level.count] = words::write_listed(picked.data(), picked.size(), child);
        level.attributes[level.count] = static_cast<std::uint32_t>(j);
        ++level.count;
        continue;
      }
      words::intersect_in(child, extent, column(j), range);
      const Range child_range = words::nonzero_range(child, range.lo, range.hi);
      const std::uint64_t child_size = words::count_in(child, child_range);
      if (child_size < min_support_) {
        level.failures[j] = kInfrequentFailure;
        continue;
      }
      Failure failure;
      if (child_size * intent_words_ <= n_) {
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
    return (n_ - std::min(start, n_)) * (1 + (range.hi - range.lo) / 16);
  }

  // closure = the attributes every listed object has. Every one of them has
  // the intent and j, so the AND stops as soon as it is down to those: on
  // sparse data a few rows settle a large extent.
  void close_by_listed_rows(const std::uint32_t* objects, std::size_t count, const Word* intent, std::uint64_t j,
                            Word* closure) const {
    if (intent_words_ == 1) return close_by_listed_rows_fixed<1>(objects, count, intent, j, closure);
    if (intent_words_ == 2) return close_by_listed_rows_fixed<2>(objects, count, intent, j, closure);
    for (std::size_t w = 0; w < intent_words_; ++w) closure[w] = ~Word{0};
    closure[intent_words_ - 1] = last_word_mask_;
    const std::size_t j_word = static_cast<std::size_t>(j / 64);
    const Word j_bit = Word{1} << (j % 64);
    for (std::size_t k = 0; k < count; ++k) {
      const Word* row = data_.rows.data() + std::size_t{objects[k]} * intent_words_;
      Word extra = 0;
      for (std::size_t v = 0; v < intent_words_; ++v) {
        closure[v] &= row[v];
        extra |= closure[v] & ~intent[v] & ~(v == j_word ? j_bit : Word{0});
      }
      if (extra == 0) return;
    }
  }

  template <std::size_t kWords>
  void close_by_listed_rows_fixed(const std::uint32_t* objects, std::size_t count, const Word* intent,
                                  std::uint64_t j, Word* closure) const {
    Word running[kWords];
    Word floor[kWords];
    for (std::size_t v = 0; v < kWords; ++v) {
      running[v] = ~Word{0};
      floor[v] = intent[v];
    }
    running[kWords - 1] = last_word_mask_;
    floor[j / 64] |= Word{1} << (j % 64);
    for (std::size_t k = 0; k < count; ++k) {
      const Word* row = data_.rows.data() + std::size_t{objects[k]} * kWords;
      Word extra = 0;
      for (std::size_t v = 0; v < kWords; ++v) {
        running[v] &= row[v];
        extra |= running[v] & ~floor[v];
      }
      if (extra == 0) break;
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
        const Word* row = data_.rows.data() + g * intent_words_;
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
        const Word* row = data_.rows.data() + (w * 64 + static_cast<std::size_t>(std::countr_zero(objects))) * kWords;
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
      if (gained != 0) return Failure{static_cast<std::uint32_t>(w), 0, gained};
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
      if (gained != 0) return Failure{static_cast<std::uint32_t>(w), 0, gained};
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

  const WalkData& data_;
  const std::uint64_t n_;
  const std::size_t extent_words_;
  const std::size_t intent_words_;
  const ChildOrder order_;
  const std::uint64_t min_support_;
  const std::vector<Failure> nothing_known_;
  Word last_word_mask_ = 0;
  std::deque<Level> levels_;
  OccurrenceBuckets buckets_;
};

}  // namespace

std::unique_ptr<TaskWalker> make_fcbo_walker(const WalkData& data, ChildOrder order, std::uint64_t min_support) {
  return std::make_unique<Walk>(data, order, min_support);
}

}  // namespace tessara::engine
