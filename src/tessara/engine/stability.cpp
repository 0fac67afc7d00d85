#include "tessara/engine/stability.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

#include "tessara/core/fault.hpp"

namespace tessara::engine {
namespace {

using Word = std::uint64_t;
constexpr std::uint64_t kExactBelow = 64;  // extents this small have integer counts in a word
constexpr std::uint64_t kVisitsPerBeat = 4096;  // visits of the exact count between two beats of the control

// The concept indices in ascending extent size (a counting sort), so that
// every concept comes after all the concepts below it.
std::vector<std::uint32_t> by_extent_size(const std::vector<std::uint64_t>& sizes) {
  const std::uint64_t largest = sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end());
  std::vector<std::size_t> start(largest + 2, 0);
  for (const std::uint64_t size : sizes) ++start[size + 1];
  for (std::size_t k = 0; k + 1 < start.size(); ++k) start[k + 1] += start[k];
  std::vector<std::uint32_t> order(sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) order[start[sizes[i]]++] = static_cast<std::uint32_t>(i);
  return order;
}

std::vector<std::uint64_t> extent_sizes(const core::ConceptList& concepts) {
  std::vector<std::uint64_t> sizes(concepts.size());
  for (std::size_t i = 0; i < concepts.size(); ++i) sizes[i] = concepts.extent_size(i);
  return sizes;
}

void require_graph_of(const core::ConceptList& concepts, const core::CoverGraph& graph) {
  if (concepts.size() != graph.size() || concepts.size() > std::numeric_limits<std::uint32_t>::max() - 1)
    throw core::InternalFault(core::fault_text::kIndexOutOfRange);
}

// splitmix64: a small, fast generator whose every seed gives a good stream.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) noexcept : state_(seed) {}
  std::uint64_t next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

}  // namespace

std::optional<std::vector<double>> exact_stability(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                                   std::uint64_t max_visits) {
  RunControl control;
  return exact_stability(concepts, graph, max_visits, control);
}

std::optional<std::vector<double>> exact_stability(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                                   std::uint64_t max_visits, RunControl& control) {
  require_graph_of(concepts, graph);
  const std::vector<std::uint64_t> sizes = extent_sizes(concepts);
  std::vector<double> stability(concepts.size(), 0.0);
  std::vector<std::uint64_t> count(concepts.size(), 0);  // s, for extents below kExactBelow
  std::vector<std::uint32_t> seen(concepts.size(), 0);
  std::vector<std::uint32_t> stack;
  std::uint64_t visits = 0;
  for (const std::uint32_t c : by_extent_size(sizes)) {
    const std::uint64_t size = sizes[c];
    const std::uint32_t stamp = c + 1;
    const bool exact = size < kExactBelow;
    std::uint64_t below_count = 0;
    double below_share = 0.0;
    stack.assign(1, c);
    while (!stack.empty()) {
      const std::uint32_t at = stack.back();
      stack.pop_back();
      for (const std::uint32_t d : graph.lower(at)) {
        if (seen[d] == stamp || size - sizes[d] > kStabilityWindow) continue;
        seen[d] = stamp;
        if (++visits > max_visits) return std::nullopt;
        if (visits % kVisitsPerBeat == 0 && !control.beat()) return std::nullopt;
        if (exact)
          below_count += count[d];
        else
          below_share += std::ldexp(stability[d], -static_cast<int>(size - sizes[d]));
        stack.push_back(d);
      }
    }
    if (exact) {
      count[c] = (std::uint64_t{1} << size) - below_count;
      stability[c] = std::ldexp(static_cast<double>(count[c]), -static_cast<int>(size));
    } else {
      // The extent itself derives the intent: never below 2^-|A| (which is 0
      // as a double from 1075 objects on).
      const int exponent = -static_cast<int>(std::min<std::uint64_t>(size, 2000));
      stability[c] = std::max(1.0 - below_share, std::ldexp(1.0, exponent));
    }
    control.count(1);  // the concepts done, for progress reports
  }
  return stability;
}

std::vector<double> sampled_stability(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                      std::uint64_t samples, std::uint64_t seed) {
  RunControl control;
  return *sampled_stability(concepts, graph, samples, seed, control);
}

std::optional<std::vector<double>> sampled_stability(const core::ConceptList& concepts,
                                                     const core::CoverGraph& graph, std::uint64_t samples,
                                                     std::uint64_t seed, RunControl& control) {
  require_graph_of(concepts, graph);
  std::vector<double> stability(concepts.size(), 0.0);
  if (samples == 0) return stability;
  std::vector<std::uint32_t> local(concepts.n_objects(), 0);  // an object's position in the current extent
  std::vector<Word> lower_sets;
  std::vector<Word> subset;
  for (std::size_t c = 0; c < concepts.size(); ++c) {
    if (!control.beat()) return std::nullopt;
    control.count(1);  // the concepts started, for progress reports
    std::uint32_t position = 0;
    concepts.for_each_extent_member(c, [&](std::uint32_t g) { local[g] = position++; });
    // The lower neighbours' extents, as sets of positions in this extent.
    const std::size_t words = (position + 63) / 64;
    const auto lower = graph.lower(c);
    lower_sets.assign(lower.size() * words, Word{0});
    for (std::size_t k = 0; k < lower.size(); ++k)
      concepts.for_each_extent_member(lower[k], [&](std::uint32_t g) {
        lower_sets[k * words + local[g] / 64] |= Word{1} << (local[g] % 64);
      });
    const Word tail = position % 64 == 0 ? ~Word{0} : (Word{1} << (position % 64)) - 1;
    subset.resize(words);
    SplitMix random(seed ^ (0xD1B54A32D192ED03ull * (c + 1)));
    std::uint64_t hits = 0;
    for (std::uint64_t s = 0; s < samples; ++s) {
      for (Word& word : subset) word = random.next();
      if (words != 0) subset.back() &= tail;
      bool derives = true;
      for (std::size_t k = 0; k < lower.size() && derives; ++k) {
        const Word* inside = lower_sets.data() + k * words;
        Word outside = 0;
        for (std::size_t w = 0; w < words && outside == 0; ++w) outside = subset[w] & ~inside[w];
        derives = outside != 0;
      }
      hits += derives ? 1 : 0;
    }
    stability[c] = static_cast<double>(hits) / static_cast<double>(samples);
  }
  return stability;
}

double stability_error_bound(std::uint64_t samples, double confidence) {
  if (samples == 0 || !(confidence > 0.0 && confidence < 1.0))
    throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  // ln(2 / (1 - confidence)), written with log1p: the wheel may ask glibc for
  // nothing newer than 2.28, and log's current symbol version is 2.29.
  const double log_term = std::numbers::ln2 - std::log1p(-confidence);
  return std::sqrt(log_term / (2.0 * static_cast<double>(samples)));
}

std::vector<std::uint64_t> delta_stability(const core::ConceptList& concepts, const core::CoverGraph& graph) {
  require_graph_of(concepts, graph);
  const std::vector<std::uint64_t> sizes = extent_sizes(concepts);
  std::vector<std::uint64_t> delta(concepts.size());
  for (std::size_t c = 0; c < concepts.size(); ++c) {
    std::uint64_t largest_below = 0;
    for (const std::uint32_t d : graph.lower(c)) largest_below = std::max(largest_below, sizes[d]);
    delta[c] = sizes[c] - largest_below;
  }
  return delta;
}

}  // namespace tessara::engine
