#include "tessara/engine/proper_premises.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>

#include "tessara/core/columns.hpp"
#include "tessara/core/word_hash.hpp"
#include "tessara/engine/column_closure.hpp"
#include "tessara/engine/word_ops.hpp"

namespace tessara::engine {
namespace {

using Word = std::uint64_t;
constexpr std::size_t kWordBits = 64;

// The members of a set inside the range where it has any.
std::uint64_t count_in(const std::vector<Word>& set, words::Range range) {
  return core::count_bits(std::span<const Word>(set.data() + range.lo, range.hi - range.lo));
}

// The keys met so far, each with its closure and support: an open-addressing
// table over flat arrays, doubled when half full.
class KeyTable {
 public:
  static constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();

  explicit KeyTable(std::size_t stride) : stride_(stride), slots_(1024, kAbsent) {}

  std::size_t size() const noexcept { return supports_.size(); }
  const Word* key(std::uint32_t k) const noexcept { return keys_.data() + k * stride_; }
  const Word* closure(std::uint32_t k) const noexcept { return closures_.data() + k * stride_; }
  std::uint64_t support(std::uint32_t k) const noexcept { return supports_[k]; }

  std::uint32_t find(const Word* key_words) const noexcept {
    for (std::size_t slot = slot_of(key_words);; slot = (slot + 1) & (slots_.size() - 1)) {
      const std::uint32_t k = slots_[slot];
      if (k == kAbsent || same(key_words, key(k))) return k;
    }
  }

  void add(const Word* key_words, const Word* closure_words, std::uint64_t support) {
    if (2 * (size() + 1) > slots_.size()) grow();
    keys_.insert(keys_.end(), key_words, key_words + stride_);
    closures_.insert(closures_.end(), closure_words, closure_words + stride_);
    supports_.push_back(support);
    place(static_cast<std::uint32_t>(size() - 1));
  }

 private:
  // A plain loop: the sets are a word or two, too short for memcmp to pay.
  bool same(const Word* x, const Word* y) const noexcept {
    for (std::size_t w = 0; w < stride_; ++w)
      if (x[w] != y[w]) return false;
    return true;
  }
  std::size_t slot_of(const Word* key_words) const noexcept {
    return static_cast<std::size_t>(core::hash_words(std::span<const Word>(key_words, stride_))) & (slots_.size() - 1);
  }
  void place(std::uint32_t k) {
    std::size_t slot = slot_of(key(k));
    while (slots_[slot] != kAbsent) slot = (slot + 1) & (slots_.size() - 1);
    slots_[slot] = k;
  }
  void grow() {
    slots_.assign(2 * slots_.size(), kAbsent);
    for (std::uint32_t k = 0; k < size(); ++k) place(k);
  }

  std::size_t stride_;
  std::vector<std::uint32_t> slots_;
  std::vector<Word> keys_;
  std::vector<Word> closures_;
  std::vector<std::uint64_t> supports_;
};

class KeyWalk {
 public:
  KeyWalk(const core::Context& context, RunControl& control)
      : control_(control),
        min_support_(control.limits().min_support),
        columns_(context),
        rows_(context.rows()),
        n_(context.n_attributes()),
        stride_(core::AttributeSet::word_count(n_)),
        extent_stride_(columns_.words_per_column()),
        table_(stride_) {}

  // The proper premises, each with P• and support, in the order met; false
  // when the control stopped the walk.
  bool run();

  std::vector<Word> premises;      // stride_ words each
  std::vector<Word> conclusions;   // stride_ words each
  std::vector<std::uint64_t> supports;

 private:
  struct Level {
    std::vector<Word> extent;
    words::Range range;
    std::vector<Word> key;
    std::uint32_t entry;                  // the key's place in the table
    std::vector<std::uint32_t> extended;  // the attributes m whose X ∪ {m} is a key, descending
  };

  Level& level(std::size_t depth) {
    while (levels_.size() <= depth)
      levels_.push_back(Level{std::vector<Word>(extent_stride_), {}, std::vector<Word>(stride_), 0, {}});
    return levels_[depth];
  }

  void expand(std::size_t depth, std::span<const std::uint32_t> candidates);
  bool subsets_are_keys(const Level& at, std::uint32_t m, std::uint64_t& least_support);
  void record(std::size_t depth);

  // Candidates tried between two beats of the control.
  static constexpr std::uint32_t kStepsPerBeat = 256;

  RunControl& control_;
  std::uint32_t steps_ = 0;
  bool stopped_ = false;
  const std::uint64_t min_support_;
  const core::AttributeColumns columns_;
  const std::span<const core::AttributeSet> rows_;
  const std::uint64_t n_;
  const std::size_t stride_;
  const std::size_t extent_stride_;
  KeyTable table_;
  std::vector<Level> levels_;
  std::vector<Word> subset_;      // a key with one attribute exchanged
  std::vector<Word> from_below_;  // the union of the closures of the subsets one smaller
  std::vector<Word> closure_;
  std::vector<std::uint32_t> scratch_;
};

// For X (at `at`) and m: whether every X \ {x} ∪ {m} is a key; collects the
// least of their supports and the union of their closures in from_below_
// (X's own closure already there).
bool KeyWalk::subsets_are_keys(const Level& at, std::uint32_t m, std::uint64_t& least_support) {
  subset_.assign(at.key.begin(), at.key.end());
  words::set_bit(subset_.data(), m);
  bool all = true;
  core::for_each_bit(at.key, [&](std::uint32_t x) {
    if (!all) return;
    subset_[x / kWordBits] &= ~(Word{1} << (x % kWordBits));
    const std::uint32_t k = table_.find(subset_.data());
    subset_[x / kWordBits] |= Word{1} << (x % kWordBits);
    if (k == KeyTable::kAbsent) {
      all = false;
      return;
    }
    least_support = std::min(least_support, table_.support(k));
    const Word* closure = table_.closure(k);
    for (std::size_t w = 0; w < stride_; ++w) from_below_[w] |= closure[w];
  });
  return all;
}

// Adds the key at `depth` (its extent known) to the table with its closure,
// and to the result when it is a proper premise: from_below_ holds the union
// of the closures of its subsets one smaller.
void KeyWalk::record(std::size_t depth) {
  Level& at = level(depth);
  const std::span<const Word> extent(at.extent.data(), extent_stride_);
  for (std::size_t w = 0; w < stride_; ++w) from_below_[w] |= at.key[w];
  column_closure::intent_of_extent(extent, columns_, rows_, from_below_, closure_, scratch_);
  const std::uint64_t support = count_in(at.extent, at.range);
  at.entry = static_cast<std::uint32_t>(table_.size());
  table_.add(at.key.data(), closure_.data(), support);
  Word gained = 0;
  for (std::size_t w = 0; w < stride_; ++w) gained |= closure_[w] & ~from_below_[w];
  if (gained == 0) return;
  premises.insert(premises.end(), at.key.begin(), at.key.end());
  for (std::size_t w = 0; w < stride_; ++w) conclusions.push_back(closure_[w] & ~from_below_[w]);
  supports.push_back(support);
}

// Tries X (at `depth`) with each candidate attribute, in the given
// (descending) order. Levels are reached by position, never kept by
// reference across the walk below a child, which may add levels.
void KeyWalk::expand(std::size_t depth, std::span<const std::uint32_t> candidates) {
  level(depth + 1);
  levels_[depth].extended.clear();
  for (const std::uint32_t m : candidates) {
    if (stopped_ || (++steps_ % kStepsPerBeat == 0 && !control_.beat())) {
      stopped_ = true;
      return;
    }
    Level& at = levels_[depth];
    const Word* closed = table_.closure(at.entry);
    if (words::has_bit(closed, m)) continue;  // X ∪ {m} has X's support
    std::copy(closed, closed + stride_, from_below_.begin());
    std::uint64_t least_support = table_.support(at.entry);
    if (!subsets_are_keys(at, m, least_support)) continue;
    Level& child = levels_[depth + 1];
    words::intersect_in(child.extent.data(), at.extent.data(), columns_.column(m).data(), at.range);
    child.range = words::nonzero_range(child.extent.data(), at.range.lo, at.range.hi);
    for (std::size_t w = 0; w < at.range.lo; ++w) child.extent[w] = 0;
    for (std::size_t w = at.range.hi; w < extent_stride_; ++w) child.extent[w] = 0;
    const std::uint64_t support = count_in(child.extent, child.range);
    if (support >= least_support || support < min_support_) continue;
    std::copy(at.key.begin(), at.key.end(), child.key.begin());
    words::set_bit(child.key.data(), m);
    record(depth + 1);
    // The child extends by the attributes above m already found to extend X;
    // this level's list only grows after the child is done with it.
    expand(depth + 1, std::span<const std::uint32_t>(levels_[depth].extended));
    levels_[depth].extended.push_back(m);
  }
}

bool KeyWalk::run() {
  if (columns_.n_objects() < min_support_) return true;
  subset_.resize(stride_);
  from_below_.assign(stride_, 0);
  closure_.resize(stride_);
  Level& root = level(0);
  core::ObjectSet everyone = core::ObjectSet::full(columns_.n_objects());
  std::copy(everyone.words().begin(), everyone.words().end(), root.extent.begin());
  root.range = words::nonzero_range(root.extent.data(), 0, extent_stride_);
  std::fill(root.key.begin(), root.key.end(), 0);
  record(0);
  std::vector<std::uint32_t> all(n_);
  for (std::uint32_t m = 0; m < n_; ++m) all[m] = static_cast<std::uint32_t>(n_ - 1 - m);
  expand(0, all);
  return !stopped_;
}

// X comes before Y when the smallest attribute in exactly one of them is in Y.
bool lectically_before(const Word* x, const Word* y, std::size_t stride) {
  for (std::size_t w = 0; w < stride; ++w)
    if (x[w] != y[w]) {
      const Word differ = x[w] ^ y[w];
      return (y[w] & differ & ~(differ - 1)) != 0;
    }
  return false;
}

core::AttributeSet set_of_words(const Word* words, std::uint64_t capacity) {
  core::AttributeSet set = core::AttributeSet::empty(capacity);
  std::copy(words, words + set.words().size(), set.mutable_words().begin());
  return set;
}

}  // namespace

std::vector<DirectImplication> proper_premise_base(const core::Context& context, std::uint64_t min_support) {
  RunControl control(RunLimits{.min_support = min_support});
  return *proper_premise_base(context, control);
}

std::optional<std::vector<DirectImplication>> proper_premise_base(const core::Context& context, RunControl& control) {
  KeyWalk walk(context, control);
  if (!walk.run()) return std::nullopt;
  const std::uint64_t n = context.n_attributes();
  const std::size_t stride = core::AttributeSet::word_count(n);
  std::vector<std::size_t> order(walk.supports.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return lectically_before(walk.premises.data() + a * stride, walk.premises.data() + b * stride, stride);
  });
  std::vector<DirectImplication> base;
  base.reserve(order.size());
  for (const std::size_t k : order)
    base.push_back(DirectImplication{set_of_words(walk.premises.data() + k * stride, n),
                                     set_of_words(walk.conclusions.data() + k * stride, n), walk.supports[k]});
  return base;
}

}  // namespace tessara::engine
