#include "tessara/engine/minimal_generators.hpp"

#include <algorithm>
#include <bit>
#include <numeric>

namespace tessara::engine {
namespace {

constexpr std::size_t kWordBits = 64;

// Collects each transversal as packed words.
class KeyCollector final : public TransversalListener {
 public:
  KeyCollector(std::size_t stride, std::vector<std::uint64_t>& out, RunControl* control)
      : stride_(stride), out_(out), control_(control) {}

  bool keep_going() override { return control_ == nullptr || control_->beat(); }

  void found(std::span<const std::uint32_t> transversal) override {
    ++count_;
    const std::size_t at = out_.size();
    out_.resize(at + stride_, 0);
    for (const std::uint32_t v : transversal) out_[at + v / kWordBits] |= std::uint64_t{1} << (v % kWordBits);
  }

 private:
  std::size_t stride_;
  std::vector<std::uint64_t>& out_;
  RunControl* control_;
  std::size_t count_ = 0;

 public:
  std::size_t count() const noexcept { return count_; }
};

// Smaller sets first; among sets of one size, the one whose first differing
// attribute is smaller (so {a0, a3} before {a1, a2}).
bool shorter_or_smaller(std::span<const std::uint64_t> x, std::span<const std::uint64_t> y) {
  std::uint64_t x_size = 0;
  std::uint64_t y_size = 0;
  for (std::size_t w = 0; w < x.size(); ++w) {
    x_size += static_cast<std::uint64_t>(std::popcount(x[w]));
    y_size += static_cast<std::uint64_t>(std::popcount(y[w]));
  }
  if (x_size != y_size) return x_size < y_size;
  for (std::size_t w = 0; w < x.size(); ++w)
    if (x[w] != y[w]) {
      const std::uint64_t first = (x[w] ^ y[w]) & ~((x[w] ^ y[w]) - 1);
      return (x[w] & first) != 0;
    }
  return false;
}

}  // namespace

GeneratorSearch::GeneratorSearch(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                 RunControl* control)
    : control_(control),
      concepts_(concepts),
      graph_(graph),
      search_(concepts.n_attributes()),
      difference_(concepts.intent_stride()) {}

std::size_t GeneratorSearch::keys_of(std::uint32_t i, std::vector<Word>& out) {
  const std::size_t stride = concepts_.intent_stride();
  const auto intent = concepts_.intent_words(i);
  search_.clear();
  for (const std::uint32_t u : graph_.upper(i)) {
    const auto above = concepts_.intent_words(u);
    for (std::size_t w = 0; w < stride; ++w) difference_[w] = intent[w] & ~above[w];
    search_.add_edge(difference_);
  }
  found_.clear();
  KeyCollector collector(stride, found_, control_);
  search_.run(collector);
  const std::size_t count = collector.count();
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto key = [&](std::size_t k) { return std::span<const Word>(found_.data() + k * stride, stride); };
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return shorter_or_smaller(key(a), key(b)); });
  for (const std::size_t k : order) out.insert(out.end(), key(k).begin(), key(k).end());
  return count;
}

GeneratorTable minimal_generators(const core::ConceptList& concepts, const core::CoverGraph& graph) {
  RunControl control;
  return *minimal_generators(concepts, graph, control);
}

std::optional<GeneratorTable> minimal_generators(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                                 RunControl& control) {
  GeneratorTable table;
  table.stride = concepts.intent_stride();
  table.first.reserve(concepts.size() + 1);
  table.first.push_back(0);
  GeneratorSearch search(concepts, graph, &control);
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    if (i % kConceptsPerBeat == 0 && !control.beat()) return std::nullopt;
    table.first.push_back(table.first.back() + search.keys_of(static_cast<std::uint32_t>(i), table.words));
    if (control.stopped()) return std::nullopt;  // stopped inside one concept's search
  }
  return table;
}

}  // namespace tessara::engine
