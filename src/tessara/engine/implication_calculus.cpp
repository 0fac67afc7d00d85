#include "tessara/engine/implication_calculus.hpp"

#include <algorithm>
#include <bit>
#include <numeric>

#include "tessara/core/columns.hpp"
#include "tessara/engine/implication_closure.hpp"

namespace tessara::engine::implication_calculus {
namespace {

// The pulse is run every this many closures.
constexpr std::size_t kClosuresPerBeat = 256;

bool keep_going(RunControl* control, std::size_t done) {
  return control == nullptr || done % kClosuresPerBeat != 0 || control->beat();
}

std::uint64_t size_of(std::span<const Word> set) noexcept {
  std::uint64_t members = 0;
  for (const Word word : set) members += static_cast<std::uint64_t>(std::popcount(word));
  return members;
}

}  // namespace

bool lectic_less(std::span<const Word> a, std::span<const Word> b) noexcept {
  for (std::size_t w = 0; w < a.size(); ++w) {
    const Word differ = a[w] ^ b[w];
    if (differ != 0) return ((b[w] >> std::countr_zero(differ)) & 1u) != 0;
  }
  return false;
}

std::optional<ImplicationList> minimum_cover(const ImplicationList& implications, RunControl* control) {
  const std::size_t stride = implications.stride;
  // Smaller premises first: an implication is kept only when those kept so
  // far do not already derive it, and small premises derive the most.
  std::vector<std::uint32_t> order(implications.size());
  std::iota(order.begin(), order.end(), 0u);
  std::vector<std::uint64_t> premise_size(implications.size());
  for (std::size_t k = 0; k < implications.size(); ++k) premise_size[k] = size_of(implications.premise(k));
  // Ties keep the given order (a plain sort on (size, position): stable_sort
  // draws a deprecation warning from clang on this libstdc++).
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return premise_size[a] != premise_size[b] ? premise_size[a] < premise_size[b] : a < b;
  });

  ImplicationClosure kept(implications.n_attributes);
  std::vector<Word> set(stride);
  std::size_t done = 0;
  for (const std::uint32_t k : order) {
    if (!keep_going(control, ++done)) return std::nullopt;
    const auto premise = implications.premise(k);
    const auto conclusion = implications.conclusion(k);
    std::copy(premise.begin(), premise.end(), set.begin());
    if (kept.close(set, {.target = conclusion})) continue;
    // Not derived: `set` is now the closure of the premise under those kept,
    // and kept with the conclusion as the implication's right side, so later
    // closures get further in one step.
    for (std::size_t w = 0; w < stride; ++w) set[w] |= conclusion[w];
    kept.append(premise, set);
  }
  // Right saturation: each conclusion becomes the closure of its premise.
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (!keep_going(control, ++done)) return std::nullopt;
    const auto premise = kept.premise(k);
    std::copy(premise.begin(), premise.end(), set.begin());
    kept.close(set);
    kept.set_conclusion(k, set);
  }
  // Redundancy: an implication the others derive goes.
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (!keep_going(control, ++done)) return std::nullopt;
    kept.set_active(k, false);
    const auto premise = kept.premise(k);
    std::copy(premise.begin(), premise.end(), set.begin());
    if (!kept.close(set, {.target = kept.conclusion(k)})) kept.set_active(k, true);
  }
  ImplicationList cover(implications.n_attributes);
  for (std::size_t k = 0; k < kept.size(); ++k)
    if (kept.active(k)) cover.append(kept.premise(k), kept.conclusion(k));
  return cover;
}

std::optional<ImplicationList> canonical_base(const ImplicationList& implications, RunControl* control) {
  auto cover = minimum_cover(implications, control);
  if (!cover) return std::nullopt;
  const std::size_t stride = cover->stride;
  ImplicationClosure closure(*cover);
  std::vector<Word> pseudo_closed(cover->size() * stride);
  for (std::size_t k = 0; k < cover->size(); ++k) {
    if (!keep_going(control, k + 1)) return std::nullopt;
    const std::span<Word> set(pseudo_closed.data() + k * stride, stride);
    const auto premise = cover->premise(k);
    std::copy(premise.begin(), premise.end(), set.begin());
    closure.close(set, {.skip_conclusion = cover->conclusion(k)});
  }
  std::vector<std::uint32_t> order(cover->size());
  std::iota(order.begin(), order.end(), 0u);
  const auto premise_of = [&](std::uint32_t k) { return std::span<const Word>(pseudo_closed.data() + k * stride, stride); };
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return lectic_less(premise_of(a), premise_of(b)); });
  ImplicationList base(cover->n_attributes);
  base.premises.reserve(pseudo_closed.size());
  base.conclusions.reserve(pseudo_closed.size());
  for (const std::uint32_t k : order) base.append(premise_of(k), cover->conclusion(k));
  return base;
}

std::optional<std::vector<Word>> closed_sets(const ImplicationList& implications, std::uint64_t limit,
                                             RunControl* control) {
  const std::uint64_t n = implications.n_attributes;
  const std::size_t stride = implications.stride;
  ImplicationClosure closure(implications);
  // With no attributes the one closed set, the empty one, is zero words long.
  if (stride == 0) return std::vector<Word>{};
  std::vector<Word> found;
  std::vector<Word> current(stride, 0);
  std::vector<Word> candidate(stride);
  closure.close(current);
  std::size_t done = 0;
  for (std::uint64_t count = 0;; ++count) {
    if (count >= limit) return std::nullopt;
    found.insert(found.end(), current.begin(), current.end());
    bool advanced = false;
    for (std::uint64_t i = n; i-- > 0;) {
      const std::size_t word = i / 64;
      const Word bit = Word{1} << (i % 64);
      if ((current[word] & bit) != 0) {
        current[word] &= ~bit;
        continue;
      }
      if (!keep_going(control, ++done)) return std::nullopt;
      std::copy(current.begin(), current.end(), candidate.begin());
      candidate[word] |= bit;
      closure.close(candidate);
      // Canonical when the closure adds no attribute below i.
      bool canonical = true;
      for (std::size_t w = 0; w <= word && canonical; ++w) {
        const Word below = w < word ? ~Word{0} : bit - 1;
        canonical = ((candidate[w] & ~current[w]) & below) == 0;
      }
      if (canonical) {
        current.swap(candidate);
        advanced = true;
        break;
      }
    }
    if (!advanced) return found;
  }
}

std::vector<std::uint8_t> holds_in(const ImplicationList& implications, const core::Context& context) {
  const core::AttributeColumns columns(context);
  const std::size_t object_words = core::ObjectSet::word_count(context.n_objects());
  std::vector<Word> extent(object_words);
  std::vector<std::uint8_t> holds(implications.size(), 1);
  for (std::size_t k = 0; k < implications.size(); ++k) {
    std::fill(extent.begin(), extent.end(), ~Word{0});
    if (object_words != 0 && context.n_objects() % 64 != 0)
      extent.back() = (Word{1} << (context.n_objects() % 64)) - 1;
    const auto premise = implications.premise(k);
    for (std::size_t w = 0; w < premise.size(); ++w)
      for (Word bits = premise[w]; bits != 0; bits &= bits - 1) {
        const auto column = columns.column(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        for (std::size_t v = 0; v < object_words; ++v) extent[v] &= column[v];
      }
    const auto conclusion = implications.conclusion(k);
    for (std::size_t w = 0; w < conclusion.size() && holds[k] != 0; ++w)
      for (Word bits = conclusion[w] & ~premise[w]; bits != 0 && holds[k] != 0; bits &= bits - 1) {
        const auto column = columns.column(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        for (std::size_t v = 0; v < object_words; ++v)
          if ((extent[v] & ~column[v]) != 0) {
            holds[k] = 0;
            break;
          }
      }
  }
  return holds;
}

}  // namespace tessara::engine::implication_calculus
