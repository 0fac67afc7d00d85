#include "tessara/engine/lcm_kernel.hpp"

#include <algorithm>
#include <bit>
#include <deque>
#include <memory>
#include <vector>

#include "tessara/core/extent_view.hpp"
#include "tessara/core/fault.hpp"
#include "tessara/engine/lcm_data.hpp"
#include "tessara/engine/lcm_database.hpp"
#include "tessara/engine/lcm_root_database.hpp"
#include "tessara/engine/word_ops.hpp"

// Closed itemsets the way LCM finds them (Uno, Kiyomi and Arimura): a
// depth-first walk over closed item sets in which a child of the closed set P
// with core item c is Q = closure(P ∪ {e}) for an item e > c outside P, kept
// only when Q adds no item below e (the prefix-preserving closure extension):
// every closed set but the top one has exactly one such parent, so each
// concept is listed once, with no look-up of the ones found before.
//
// Each node of the walk holds its conditional database: the transactions of
// its extent with the items of P and the items infrequent there removed, and
// identical transactions merged into one with a weight. One pass over the
// database sorts its transactions into one occurrence list per candidate
// item (occurrence delivery); a candidate's closure is then read from the
// item counts of its occurrences, and its conditional database is built from
// the same occurrences. The items are renamed by ascending frequency.
//
// Order: a concept, then the subtrees of its children by ascending renamed
// item; the top concept first and, at min_support 0, the concept with the
// empty extent (when there is one) right after it.
namespace tessara::engine {
namespace {

using words::Word;

// How many occurrences ahead close() fetches the transactions it will read.
constexpr std::size_t kAhead = 8;
// The longest extent gather_extent puts in order by insertion.
constexpr std::size_t kInsertionSortUpTo = 48;

// One node of the walk being expanded: its conditional database, its intent
// and the occurrences of its candidate items. Reused by every node at this
// depth until a range of its candidates is given away with it: the taker
// reads it from then on, and the walk builds its next node there in a new one.
struct Level {
  LcmDatabase db;
  // The database's objects are numbers into this list of the level's extent,
  // ascending, so that a child's extent comes out in order from a bit per
  // number (no sort). At a walk's first level, and at a level whose extent
  // the output stores as bits, the numbers are the objects themselves
  // (`numbered_by_object`) and the list is left empty.
  std::vector<std::uint32_t> members;
  bool numbered_by_object = true;
  std::vector<Word> intent;
  std::vector<std::uint32_t> candidates;  // ascending
  std::vector<std::size_t> occurrence_begin;  // candidates.size() + 1 offsets into occurrences
  std::vector<std::uint32_t> occurrences;     // transaction indices
  std::uint32_t bound = 0;                    // the candidates are the items below this one

  // A walk's hold on its level at one depth.
  struct Owner {
    std::shared_ptr<Level> level;
    bool given = false;  // a range of its candidates went away with it
  };

  std::span<const std::uint32_t> occurrences_of(std::size_t k) const noexcept {
    return {occurrences.data() + occurrence_begin[k], occurrences.data() + occurrence_begin[k + 1]};
  }
};

// Where the walk is among a level's candidates: its own, beside the level,
// which another walk may share.
struct Cursor {
  std::size_t next = 0;  // the next candidate to try
  std::size_t end = 0;   // candidates from here on were given away
};

class Walk final : public TaskWalker {
 public:
  Walk(const WalkData& data, std::uint64_t min_support)
      : data_(*data.lcm),
        n_attributes_(data.n_attributes),
        extent_words_(data.extent_words),
        intent_words_(data.intent_words),
        min_support_(min_support),
        threshold_(static_cast<std::uint32_t>(std::clamp<std::uint64_t>(min_support, 1, 0xffffffffu))),
        counts_(data_.n_items(), 0),
        slots_(data_.n_items(), 0),
        touched_(data_.n_items() + 1, 0),
        split_(data_.n_objects(), 0),
        marks_((data_.n_objects() + 63) / 64, 0),
        renumbered_(data_.n_objects(), 0),
        coding_(data.n_objects) {}

  void run(const WalkTask& task, WalkHost& host) override {
    core::ConceptList* out = &host.output();
    const std::uint64_t checkpoint_work = host.checkpoint_work();
    const bool whole = task.inherited.empty();
    if (!whole && (task.inherited.size() != 1 || task.inherited.front().flags != InheritedFact::kChildrenBelow))
      throw core::InternalFault(core::fault_text::kIndexOutOfRange);
    lists_root_ = whole;
    if (whole) {
      out->append(task.extent, task.intent);
      if (task.start == 0 && min_support_ == 0) append_empty_extent(*out);
    }
    const std::uint32_t end = whole ? data_.n_items() : std::min(task.inherited.front().word, data_.n_items());
    std::uint64_t work = 0;
    cursor_at(0);
    if (!whole && task.prepared) {
      // The giver's level, its database and occurrences built already: only
      // the range's candidates are this task's.
      shared_root_ = std::static_pointer_cast<const Level>(task.prepared);
      const std::vector<std::uint32_t>& candidates = shared_root_->candidates;
      cursors_[0].next = static_cast<std::size_t>(
          std::lower_bound(candidates.begin(), candidates.end(), task.start) - candidates.begin());
      cursors_[0].end = static_cast<std::size_t>(
          std::lower_bound(candidates.begin(), candidates.end(), end) - candidates.begin());
    } else {
      shared_root_.reset();
      Level& root = level_at(0);
      load(task, root);
      work = prepare_candidates(root, task.start, end, cursors_[0]);
    }
    root_first_ = cursors_[0].next;
    // The giver's level goes when the task ends, however it ends.
    const struct Release {
      std::shared_ptr<const Level>& level;
      ~Release() { level.reset(); }
    } release{shared_root_};
    std::size_t depth = 0;
    while (true) {
      if (work >= checkpoint_work) {
        work = 0;
        if (!host.checkpoint()) return;
        out = &host.output();
        if (host.wants_work()) {
          if (host.takes_whole_frontier())
            hand_back_frontier(depth, host);
          else
            donate(depth, host);
        }
      }
      Cursor& cursor = cursors_[depth];
      if (cursor.next == cursor.end) {
        if (depth == 0) break;
        --depth;
        continue;
      }
      const std::size_t k = cursor.next++;
      const Level& level = level_of(depth);
      Level& child = level_at(depth + 1);
      work += level.occurrence_begin[k + 1] - level.occurrence_begin[k] + 1;
      if (!close(level, k, child)) continue;
      out->append_members(extent_, child.intent);
      work += prepare_candidates(child, level.candidates[k] + 1, data_.n_items(), cursor_at(depth + 1));
      ++depth;
    }
  }

 private:
  // The level at `depth` to build a node in: a new one when none is there
  // yet or the one there was given away with a range of its candidates.
  Level& level_at(std::size_t depth) {
    if (levels_.size() <= depth) levels_.resize(depth + 1);
    Level::Owner& owner = levels_[depth];
    if (!owner.level || owner.given) {
      owner.level = std::make_shared<Level>();
      owner.level->intent.resize(intent_words_);
      owner.given = false;
    }
    return *owner.level;
  }

  // The level at `depth` as the walk reads it: at depth 0 of a task that
  // took a range with its level, the giver's.
  const Level& level_of(std::size_t depth) const {
    return depth == 0 && shared_root_ ? *shared_root_ : *levels_[depth].level;
  }

  // The level at `depth` as a range of its candidates is given away with it;
  // the walk keeps reading it but builds nothing there any more.
  std::shared_ptr<const Level> give_level(std::size_t depth) {
    if (depth == 0 && shared_root_) return shared_root_;
    levels_[depth].given = true;
    return levels_[depth].level;
  }

  // A deque, so a cursor stays where it is while a deeper one is added.
  Cursor& cursor_at(std::size_t depth) {
    while (cursors_.size() <= depth) cursors_.emplace_back();
    return cursors_[depth];
  }

  // The concept (∅, M), when no object has every attribute; after the top
  // concept, which is that concept itself when there are no objects.
  void append_empty_extent(core::ConceptList& out) {
    if (data_.n_objects() == 0 || data_.some_row_full()) return;
    std::vector<Word> all(intent_words_, ~Word{0});
    if (n_attributes_ % 64 != 0) all.back() = (Word{1} << (n_attributes_ % 64)) - 1;
    out.append_members({}, all);
  }

  // The task's concept as the root of the walk: the objects of its extent as
  // weight-one transactions of their items outside the intent that are
  // frequent there, merged where they agree from `start` on.
  void load(const WalkTask& task, Level& root) {
    std::copy(task.intent.begin(), task.intent.end(), root.intent.begin());
    root.members.clear();
    root.numbered_by_object = true;
    root_objects_.clear();
    for (std::size_t w = 0; w < extent_words_; ++w)
      for (Word bits = task.extent[w]; bits != 0; bits &= bits - 1)
        root_objects_.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
    std::size_t n_touched = 0;
    std::uint64_t crosses = 0;
    for (const std::uint32_t g : root_objects_) {
      crosses += data_.row(g).size();
      for (const std::uint32_t j : data_.row(g)) {
        if (words::has_bit(task.intent.data(), data_.attribute_of(j))) continue;
        if (counts_[j]++ == 0) touched_[n_touched++] = j;
      }
    }
    root_builder_.build({data_, root_objects_, counts_, threshold_, task.start}, data_.splits(crosses), root.db);
    for (std::size_t i = 0; i < n_touched; ++i) counts_[touched_[i]] = 0;
  }

  // Sorts the transactions into one occurrence list per item in
  // [start, end) (occurrence delivery): the node's candidates. `start` is
  // where the database's items above the core begin (the item after the
  // core). Returns the work done.
  std::uint64_t prepare_candidates(Level& level, std::uint32_t start, std::uint32_t end, Cursor& cursor) {
    level.bound = end;
    const LcmDatabase& db = level.db;
    std::uint64_t work = 0;
    // Branch-free: an item is noted as a candidate at its first occurrence.
    std::uint32_t* found = touched_.data();
    std::size_t n_found = 0;
    // The items from `start` on are a transaction's items above the core.
    for (std::size_t t = 0; t < db.size(); ++t) {
      const std::span<const std::uint32_t> items = db.items_above(t);
      for (auto it = items.begin(); it != items.end() && *it < end; ++it) {
        found[n_found] = *it;
        n_found += slots_[*it]++ == 0 ? 1 : 0;
        ++work;
      }
    }
    // In order: sorted when few, else read off the counts of the whole range.
    if (n_found * 16 < end - start) {
      level.candidates.assign(found, found + n_found);
      std::sort(level.candidates.begin(), level.candidates.end());
    } else {
      level.candidates.clear();
      for (std::uint32_t j = start; j < end; ++j)
        if (slots_[j] != 0) level.candidates.push_back(j);
    }
    level.occurrence_begin.resize(level.candidates.size() + 1);
    std::size_t offset = 0;
    for (std::size_t k = 0; k < level.candidates.size(); ++k) {
      level.occurrence_begin[k] = offset;
      const std::size_t count = slots_[level.candidates[k]];
      slots_[level.candidates[k]] = offset;
      offset += count;
    }
    level.occurrence_begin.back() = offset;
    level.occurrences.resize(offset);
    for (std::size_t t = 0; t < db.size(); ++t) {
      const std::span<const std::uint32_t> items = db.items_above(t);
      for (auto it = items.begin(); it != items.end() && *it < end; ++it)
        level.occurrences[slots_[*it]++] = static_cast<std::uint32_t>(t);
    }
    for (const std::uint32_t j : level.candidates) slots_[j] = 0;
    cursor.next = 0;
    cursor.end = level.candidates.size();
    return work;
  }

  // Closes candidate k of `parent` into `child`: false when the closure adds
  // an item below the candidate (not a prefix-preserving extension).
  // Otherwise child.intent is the closure, extent_ the objects, and child.db
  // the conditional database (left empty when no item can extend the child:
  // most closed sets are leaves, and their databases would be built only to
  // be found empty).
  bool close(const Level& parent, std::size_t k, Level& child) {
    const LcmDatabase& db = parent.db;
    const std::uint32_t e = parent.candidates[k];
    const std::span<const std::uint32_t> occurrences = parent.occurrences_of(k);
    const std::uint32_t* items = db.items.data();
    const std::size_t* item_begin = db.item_begin.data();
    const std::size_t* item_end = db.item_end.data();
    const std::uint32_t* weights = db.weight.data();
    std::uint32_t* counts = counts_.data();
    std::uint32_t* touched = touched_.data();
    std::size_t n_touched = 0;
    std::uint32_t support = 0;
    std::size_t total = 0;
    // One pass counts the items of every occurrence and notes where e is in
    // it (every occurrence holds e). Nearly every candidate of transaction
    // data passes the canonicity test, so counting the items above e before
    // the test costs little.
    // The occurrences of a shallow candidate lie far apart in a large
    // database: their bounds and first items are fetched ahead, in two steps.
    const std::size_t n_occurrences = occurrences.size();
    for (std::size_t i = 0; i < n_occurrences; ++i) {
      if (i + 2 * kAhead < n_occurrences) {
        const std::uint32_t far = occurrences[i + 2 * kAhead];
        __builtin_prefetch(item_begin + far);
        __builtin_prefetch(item_end + far);
        __builtin_prefetch(weights + far);
        __builtin_prefetch(db.object_begin.data() + far);
      }
      if (i + kAhead < n_occurrences) __builtin_prefetch(items + item_begin[occurrences[i + kAhead]]);
      const std::uint32_t t = occurrences[i];
      const std::uint32_t weight = weights[t];
      support += weight;
      const std::uint32_t* const begin = items + item_begin[t];
      const std::uint32_t* const last = items + item_end[t];
      total += static_cast<std::size_t>(last - begin);
      const std::uint32_t* p = begin;
      // Branch-free: an item is noted as touched at its first count.
      for (; *p < e; ++p) {
        touched[n_touched] = *p;
        n_touched += counts[*p] == 0 ? 1 : 0;
        counts[*p] += weight;
      }
      split_[i] = static_cast<std::uint32_t>(p - begin);
      for (; p != last; ++p) {
        touched[n_touched] = *p;
        n_touched += counts[*p] == 0 ? 1 : 0;
        counts[*p] += weight;
      }
    }
    // The closure lies within every occurrence, the first one included.
    const std::uint32_t* first = items + item_begin[occurrences.front()];
    const std::uint32_t* first_end = items + item_end[occurrences.front()];
    bool canonical = true;
    for (const std::uint32_t* p = first; *p < e; ++p) {
      if (counts[*p] == support) {
        canonical = false;
        break;
      }
    }
    if (canonical) {
      std::copy(parent.intent.begin(), parent.intent.end(), child.intent.begin());
      for (const std::uint32_t* p = first; p != first_end; ++p)
        if (counts[*p] == support) words::set_bit(child.intent.data(), data_.attribute_of(*p));
      const std::uint32_t threshold = threshold_;
      bool extensible = false;
      for (std::size_t i = 0; i < n_touched && !extensible; ++i) {
        const std::uint32_t count = counts[touched[i]];
        extensible = touched[i] > e && count >= threshold && count != support;
      }
      // A child whose extent the output lists numbers its database's objects
      // into that extent, for its own children's extents to come out in
      // order; a wider one (stored as bits, in any order) keeps the objects.
      const bool renumber = extensible && coding_.lists(support);
      gather_extent(parent, occurrences, support, renumber);
      if (extensible) {
        builder_.start(child.db, occurrences.size());
        child.db.items.resize(total);
        std::uint32_t* out = child.db.items.data();
        std::size_t tail = 0;
        for (std::size_t i = 0; i < n_occurrences; ++i) {
          if (i + kAhead < n_occurrences) {  // a large database left the cache since the count
            const std::uint32_t ahead = occurrences[i + kAhead];
            __builtin_prefetch(items + item_begin[ahead]);
            __builtin_prefetch(db.object_begin.data() + ahead);
          }
          if (i + 2 * kAhead < n_occurrences) {
            const std::uint32_t far = occurrences[i + 2 * kAhead];
            __builtin_prefetch(item_begin + far);
            __builtin_prefetch(item_end + far);
            __builtin_prefetch(weights + far);
          }
          const std::uint32_t t = occurrences[i];
          const std::size_t begin = tail;
          const std::uint32_t* p = items + item_begin[t];
          const std::uint32_t* at_e = p + split_[i];
          const std::uint32_t* last = items + item_end[t];
          for (; p != at_e; ++p) {
            const std::uint32_t count = counts[*p];
            out[tail] = *p;
            tail += (count >= threshold && count != support) ? 1 : 0;
          }
          const std::size_t split = tail;
          for (++p; p != last; ++p) {  // e itself is in the closure
            const std::uint32_t count = counts[*p];
            out[tail] = *p;
            tail += (count >= threshold && count != support) ? 1 : 0;
          }
          tail = builder_.add(begin, split, tail, weights[t], db.objects_of(t));
        }
        child.db.items.resize(tail);
        builder_.finish();
        if (renumber)
          renumber_objects(child);
        else
          number_by_object(parent, child);
      } else {
        child.db.clear();
      }
    }
    for (std::size_t i = 0; i < n_touched; ++i) counts[touched[i]] = 0;
    return canonical;
  }

  // The objects of the occurrences into extent_, ascending when the output
  // stores the extent as a list: `support` of them, since a transaction
  // stands for as many objects as its weight (most for one). The database
  // holds them as numbers into the level's members, so their order is the
  // numbers' order. They come out ascending unless merged transactions
  // interleave; a short list of them is then put in order by insertion, a
  // longer one read off one bit per number. With `numbered` the bits are
  // kept for renumber_objects (the child's database numbers its objects into
  // this extent).
  void gather_extent(const Level& level, std::span<const std::uint32_t> occurrences, std::uint32_t support,
                     bool numbered) {
    const LcmDatabase& db = level.db;
    extent_.resize(support);
    std::uint32_t* member = extent_.data();
    const std::uint32_t* objects = db.objects.data();
    const std::size_t* object_begin = db.object_begin.data();
    std::uint32_t previous = 0;
    bool descends = false;
    for (std::size_t i = 0; i < occurrences.size(); ++i) {
      if (i + kAhead < occurrences.size()) __builtin_prefetch(objects + object_begin[occurrences[i + kAhead]]);
      const std::uint32_t t = occurrences[i];
      for (std::size_t o = object_begin[t]; o != object_begin[t + 1]; ++o) {
        const std::uint32_t g = objects[o];
        descends |= g < previous;
        previous = g;
        *member++ = g;
      }
    }
    const bool in_order = descends && coding_.lists(extent_.size());
    // The marks span the level's numbers: a wide level (a walk's first, over
    // every object) and a thin extent leave most of their words empty, and
    // sorting by radix reads fewer.
    const std::size_t words = level.numbered_by_object ? marks_.size() : level.members.size() / 64 + 1;
    if (!numbered && in_order && extent_.size() > kInsertionSortUpTo && words > extent_.size()) {
      radix_sort_extent(level.numbered_by_object ? data_.n_objects() : level.members.size());
      if (!level.numbered_by_object)
        for (std::uint32_t& g : extent_) g = level.members[g];
      return;
    }
    if (numbered && !descends) {
      // In order already: a number's place in the child's extent is its place here.
      for (std::uint32_t i = 0; i < support; ++i) renumbered_[extent_[i]] = i;
      marks_low_ = 1;
      marks_high_ = 0;
    } else if (numbered || (in_order && extent_.size() > kInsertionSortUpTo)) {
      read_off_marks(level, numbered);
      return;
    }
    if (in_order) {
      // Runs of ascending numbers: insertion moves each number only past the
      // later ones.
      std::uint32_t* const first = extent_.data();
      for (std::uint32_t* p = first + 1; p != first + extent_.size(); ++p) {
        const std::uint32_t g = *p;
        std::uint32_t* q = p;
        for (; q != first && *(q - 1) > g; --q) *q = *(q - 1);
        *q = g;
      }
    }
    if (!level.numbered_by_object)
      for (std::uint32_t& g : extent_) g = level.members[g];
  }

  // The child's database holds its objects as numbers into the parent's
  // members; they become the objects themselves.
  static void number_by_object(const Level& parent, Level& child) {
    if (!parent.numbered_by_object)
      for (std::uint32_t& g : child.db.objects) g = parent.members[g];
    child.members.clear();
    child.numbered_by_object = true;
  }

  // Sorts extent_ (numbers below `numbers`) by their bytes, least
  // significant first, through sort_scratch_: as many passes as the numbers
  // have bytes.
  void radix_sort_extent(std::size_t numbers) {
    const auto bits = static_cast<unsigned>(std::bit_width(std::max<std::size_t>(numbers, 2) - 1));
    sort_scratch_.resize(extent_.size());
    std::uint32_t* from = extent_.data();
    std::uint32_t* to = sort_scratch_.data();
    const std::size_t n = extent_.size();
    for (unsigned shift = 0; shift < bits; shift += 8) {
      std::size_t place[257] = {};
      for (std::size_t i = 0; i < n; ++i) ++place[((from[i] >> shift) & 0xff) + 1];
      for (std::size_t b = 1; b < 257; ++b) place[b] += place[b - 1];
      for (std::size_t i = 0; i < n; ++i) to[place[(from[i] >> shift) & 0xff]++] = from[i];
      std::swap(from, to);
    }
    if (from != extent_.data()) std::copy(from, from + n, extent_.data());
  }

  // extent_ (numbers into the level's members) put in order through a bit
  // per number: the words from the lowest number's to the highest's are read
  // once, and each set bit gives the next object. With `keep`, the bits stay
  // set and renumbered_ notes each number's place among them, for
  // renumber_objects; otherwise every word read is cleared.
  void read_off_marks(const Level& level, bool keep) {
    if (extent_.empty()) {
      marks_low_ = 1;
      marks_high_ = 0;
      return;
    }
    std::size_t low = marks_.size();
    std::size_t high = 0;
    for (const std::uint32_t g : extent_) {
      const std::size_t w = g / 64;
      marks_[w] |= Word{1} << (g % 64);
      low = std::min(low, w);
      high = std::max(high, w);
    }
    marks_low_ = low;
    marks_high_ = high;
    std::uint32_t* out = extent_.data();
    std::uint32_t count = 0;
    const std::uint32_t* members = level.numbered_by_object ? nullptr : level.members.data();
    for (std::size_t w = low; w <= high; ++w) {
      Word bits = marks_[w];
      if (bits == 0) continue;  // the words of a wide, thin extent are mostly empty: no store for them
      if (!keep) marks_[w] = 0;
      for (; bits != 0; bits &= bits - 1) {
        const auto g = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        if (keep) renumbered_[g] = count;
        out[count++] = members == nullptr ? g : members[g];
      }
    }
  }

  // The child's database holds its objects as numbers into the parent's
  // members; they become numbers into the child's extent (extent_, now the
  // child's members): a number's place among the marked ones. Clears the
  // marks read_off_marks kept.
  void renumber_objects(Level& child) {
    for (std::uint32_t& g : child.db.objects) g = renumbered_[g];
    for (std::size_t w = marks_low_; w <= marks_high_; ++w) marks_[w] = 0;
    child.members.assign(extent_.begin(), extent_.end());
    child.numbered_by_object = false;
  }

  // Gives the later half of the candidates still waiting at the shallowest
  // level that has any to the host, as one task (the range of those
  // children, kChildrenBelow): it is listed after everything else this walk
  // still lists, so no shallower level may keep a candidate. The host is a
  // pool in this process, so the task carries the level itself, which the
  // taker reads as it is (the donor closes nothing, and neither builds a
  // database again), and no extent: finding the range's objects would take a
  // pass over the level's whole database (at the root, every transaction)
  // while the taker waits.
  void donate(std::size_t depth, WalkHost& host) {
    for (std::size_t d = 0; d <= depth; ++d) {
      Cursor& cursor = cursors_[d];
      if (cursor.next == cursor.end) continue;
      // The whole range of a task that gave its concept away would be the task again.
      const std::size_t keep = d == 0 && !lists_root_ ? std::max(cursor.next, root_first_ + 1) : cursor.next;
      const std::size_t from = std::max(cursor.next + (cursor.end - cursor.next) / 2, keep);
      if (from >= cursor.end) return;
      std::vector<WalkTask> tasks;
      tasks.push_back(range_task(level_of(d), from, cursor.end, false));
      tasks.back().prepared = give_level(d);
      cursor.end = from;
      host.donate(std::move(tasks));
      return;
    }
  }

  // The children of `level` generated by its candidates [from, to) as one
  // task (kChildrenBelow). With `with_extent`, its extent is the objects of
  // the level's transactions that hold one of those candidates: every such
  // child is found among them, and a taker without the level builds their
  // database once.
  WalkTask range_task(const Level& level, std::size_t from, std::size_t to, bool with_extent = true) const {
    const std::uint32_t first = level.candidates[from];
    const std::uint32_t last = to < level.candidates.size() ? level.candidates[to] : level.bound;
    WalkTask task;
    task.kind = WalkKind::kLcm;
    task.start = first;
    task.intent = level.intent;
    task.inherited.push_back(InheritedFact{last, InheritedFact::kChildrenBelow, 0});
    if (!with_extent) return task;
    task.extent.assign(extent_words_, 0);
    const LcmDatabase& db = level.db;
    for (std::size_t t = 0; t < db.size(); ++t) {
      const std::span<const std::uint32_t> items = db.items_of(t);
      const auto it = std::lower_bound(items.begin(), items.end(), first);
      if (it == items.end() || *it >= last) continue;
      for (const std::uint32_t g : db.objects_of(t))
        words::set_bit(task.extent.data(), level.numbered_by_object ? g : level.members[g]);
    }
    return task;
  }

  // A unit's end: the candidates still waiting at every level down to
  // `depth` go to the host, one range task per level from the shallowest on
  // (the host lists a later gift before an earlier one). The walk then has
  // nothing left, so what it listed and the gifts together are its whole
  // subtree in its order.
  void hand_back_frontier(std::size_t depth, WalkHost& host) {
    for (std::size_t d = 0; d <= depth; ++d) {
      Cursor& cursor = cursors_[d];
      if (cursor.next == cursor.end) continue;
      std::vector<WalkTask> tasks;
      tasks.push_back(range_task(level_of(d), cursor.next, cursor.end));
      cursor.next = cursor.end;
      host.donate(std::move(tasks));
    }
  }

  const LcmData& data_;
  const std::uint64_t n_attributes_;
  const std::size_t extent_words_;
  const std::size_t intent_words_;
  const std::uint64_t min_support_;
  const std::uint32_t threshold_;  // the least weight a kept item has: min_support, and at least 1
  std::vector<std::uint32_t> counts_;  // per item, zero between uses
  std::vector<std::size_t> slots_;     // per item, zero between uses
  std::vector<std::uint32_t> touched_;  // room for every item and one more (written ahead)
  std::vector<std::uint32_t> split_;    // per occurrence: where its items from e on begin
  std::vector<Word> marks_;                  // a bit per object number, zero between uses
  std::vector<std::uint32_t> renumbered_;    // per object number kept marked: its place among the marked ones
  const core::ExtentCoding coding_;  // how the output stores an extent
  std::vector<std::uint32_t> root_objects_;
  std::vector<std::uint32_t> extent_;
  std::vector<std::uint32_t> sort_scratch_;
  std::size_t marks_low_ = 0;                // the words read_off_marks kept set: [low, high]
  std::size_t marks_high_ = 0;
  LcmDatabaseBuilder builder_;
  LcmRootBuilder root_builder_;
  std::vector<Level::Owner> levels_;        // per depth
  std::deque<Cursor> cursors_;              // per depth
  std::shared_ptr<const Level> shared_root_;  // depth 0 of a task that came with its level
  std::size_t root_first_ = 0;              // the first candidate of depth 0 that is this task's
  bool lists_root_ = true;  // whether the task lists its concept (not a range of its children)
};

}  // namespace

std::unique_ptr<TaskWalker> make_lcm_walker(const WalkData& data, std::uint64_t min_support) {
  return std::make_unique<Walk>(data, min_support);
}

}  // namespace tessara::engine
