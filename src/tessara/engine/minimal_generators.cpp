#include "tessara/engine/minimal_generators.hpp"

#include <algorithm>
#include <bit>

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

// A key's position among the found keys, with its size.
struct SizedKey {
  std::uint64_t size;
  std::size_t index;
};

}  // namespace

GeneratorSearch::GeneratorSearch(const core::ConceptList& concepts, const core::CoverGraph& graph,
                                 RunControl* control)
    : control_(control),
      intents_(concepts),
      graph_(graph),
      search_(concepts.n_attributes()),
      difference_(concepts.intent_stride()) {}

std::size_t GeneratorSearch::keys_of(std::uint32_t i, std::vector<Word>& out) {
  const std::size_t stride = intents_.stride();
  const auto intent = intents_[i];
  search_.clear();
  for (const std::uint32_t u : graph_.upper(i)) {
    const auto above = intents_[u];
    for (std::size_t w = 0; w < stride; ++w) difference_[w] = intent[w] & ~above[w];
    search_.add_edge(difference_);
  }
  found_.clear();
  KeyCollector collector(stride, found_, control_);
  search_.run(collector);
  // A stopped search leaves its keys unsorted: the caller throws them away.
  if (control_ != nullptr && control_->stopped()) return 0;
  const std::size_t count = collector.count();
  const auto key = [&](std::size_t k) { return std::span<const Word>(found_.data() + k * stride, stride); };
  // A concept may have millions of keys: each key's size is counted once, so that most comparisons are one
  // integer's.
  std::vector<SizedKey> order(count);
  for (std::size_t k = 0; k < count; ++k) {
    std::uint64_t size = 0;
    for (const Word word : key(k)) size += static_cast<std::uint64_t>(std::popcount(word));
    order[k] = SizedKey{size, k};
  }
  std::sort(order.begin(), order.end(), [&](const SizedKey& a, const SizedKey& b) {
    if (a.size != b.size) return a.size < b.size;
    return shorter_or_smaller(key(a.index), key(b.index));
  });
  for (const SizedKey& sized : order) out.insert(out.end(), key(sized.index).begin(), key(sized.index).end());
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
