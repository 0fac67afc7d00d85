#include "tessara/layout/coordinates.hpp"

#include <algorithm>

#include "tessara/core/fault.hpp"

namespace tessara::layout {
namespace {

enum class Looking { Above, Below, Both };

class Placer {
 public:
  Placer(const ProperGraph& graph, std::span<const double> left, std::span<const double> right,
         const CoordinateOptions& options)
      : graph_(graph), left_(left), right_(right), options_(options), x_(graph.node_count(), 0.0) {
    if (left.size() != graph.concept_count() || right.size() != graph.concept_count())
      throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  }

  std::vector<double> run() {
    for (std::size_t k = 0; k < graph_.layer_count(); ++k) pack_centred(k);
    const std::uint64_t nodes = std::max<std::size_t>(graph_.node_count(), 1);
    const auto sweeps = static_cast<int>(std::clamp<std::uint64_t>(
        options_.work_budget / nodes, 2, static_cast<std::uint64_t>(std::max(options_.sweeps, 2))));
    for (int sweep = 0; sweep < sweeps; ++sweep) {
      const Looking looking = sweep < 2 ? (sweep == 0 ? Looking::Above : Looking::Below) : Looking::Both;
      if (sweep % 2 == 0) {
        for (std::size_t k = 0; k < graph_.layer_count(); ++k)
          if (keep_going(options_.keep_going)) place_layer(k, looking);
      } else {
        for (std::size_t k = graph_.layer_count(); k-- > 0;)
          if (keep_going(options_.keep_going)) place_layer(k, looking);
      }
    }
    return std::move(x_);
  }

 private:
  double left(std::uint32_t v) const { return graph_.is_dummy(v) ? 0.0 : left_[v]; }
  double right(std::uint32_t v) const { return graph_.is_dummy(v) ? 0.0 : right_[v]; }

  // The least distance between the centres of neighbours a (left) and b.
  double separation(std::uint32_t a, std::uint32_t b) const {
    const double gap = graph_.is_dummy(a) || graph_.is_dummy(b) ? options_.dummy_gap : options_.concept_gap;
    return right(a) + left(b) + gap;
  }

  // Segments between two dummies (the middle of a long edge) pull hardest, so
  // that long edges run straight down between short slanted ends.
  double segment_weight(std::uint32_t a, std::uint32_t b) const {
    const int dummies = static_cast<int>(graph_.is_dummy(a)) + static_cast<int>(graph_.is_dummy(b));
    return dummies == 2 ? options_.inner_weight : dummies == 1 ? options_.end_weight : 1.0;
  }

  // Tight packing of layer k, centred on 0: the starting positions.
  void pack_centred(std::size_t k) {
    const auto layer = graph_.layer(k);
    if (layer.empty()) return;
    double x = 0.0;
    x_[layer[0]] = 0.0;
    for (std::size_t i = 1; i < layer.size(); ++i) {
      x += separation(layer[i - 1], layer[i]);
      x_[layer[i]] = x;
    }
    for (const std::uint32_t v : layer) x_[v] -= x / 2.0;
  }

  // Places layer k at the positions that minimise the weighted squared
  // distances to each node's target (the mean position of its neighbours on
  // the sides looked at), keeping the order and the separations. With
  // offsets c_i (the least distance from the first node to node i) the
  // constraint is that x_i - c_i does not decrease: isotonic regression of the
  // targets minus the offsets, solved by pooling adjacent violators.
  void place_layer(std::size_t k, Looking looking) {
    const auto layer = graph_.layer(k);
    const std::size_t m = layer.size();
    if (m == 0) return;
    blocks_.clear();
    double offset = 0.0;
    offsets_.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
      if (i > 0) offset += separation(layer[i - 1], layer[i]);
      offsets_[i] = offset;
      const std::uint32_t v = layer[i];
      double weight = 0.0;
      double sum = 0.0;
      if (looking != Looking::Below)
        for (const std::uint32_t u : graph_.ups(v)) {
          const double w = segment_weight(u, v);
          weight += w;
          sum += w * x_[u];
        }
      if (looking != Looking::Above)
        for (const std::uint32_t d : graph_.downs(v)) {
          const double w = segment_weight(v, d);
          weight += w;
          sum += w * x_[d];
        }
      // A node with nothing to look at stays where it is, lightly held.
      if (weight == 0.0) {
        weight = kStayWeight;
        sum = kStayWeight * x_[v];
      }
      Block block{weight, sum / weight - offset, 1};
      while (!blocks_.empty() && blocks_.back().value >= block.value) {
        const Block& last = blocks_.back();
        const double total = last.weight + block.weight;
        block = Block{total, (last.weight * last.value + block.weight * block.value) / total, last.count + block.count};
        blocks_.pop_back();
      }
      blocks_.push_back(block);
    }
    std::size_t i = 0;
    for (const Block& block : blocks_)
      for (std::size_t j = 0; j < block.count; ++j, ++i) x_[layer[i]] = block.value + offsets_[i];
  }

  static constexpr double kStayWeight = 1e-3;

  struct Block {
    double weight;
    double value;  // the weighted mean of the pooled targets
    std::size_t count;
  };

  const ProperGraph& graph_;
  std::span<const double> left_;
  std::span<const double> right_;
  const CoordinateOptions& options_;
  std::vector<double> x_;
  std::vector<Block> blocks_;
  std::vector<double> offsets_;
};

}  // namespace

std::vector<double> assign_x(const ProperGraph& graph, std::span<const double> concept_width,
                             const CoordinateOptions& options) {
  std::vector<double> half(concept_width.begin(), concept_width.end());
  for (double& h : half) h /= 2.0;
  return Placer(graph, half, half, options).run();
}

std::vector<double> assign_x(const ProperGraph& graph, std::span<const double> left, std::span<const double> right,
                             const CoordinateOptions& options) {
  return Placer(graph, left, right, options).run();
}

}  // namespace tessara::layout
