#include "tessara/layout/crossing_reduction.hpp"

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "tessara/layout/crossing_count.hpp"

namespace tessara::layout {
namespace {

enum class Side { Above, Below };

// Lays every layer out in the order a breadth-first walk from the top layer
// reaches its nodes (lower neighbours in list order), so that the children of
// one node start next to each other.
void breadth_first_order(ProperGraph& graph) {
  const std::size_t layers = graph.layer_count();
  std::vector<char> seen(graph.node_count(), 0);
  std::vector<std::vector<std::uint32_t>> reached(layers);
  std::vector<std::uint32_t> queue;
  const auto visit = [&](std::uint32_t v) {
    if (seen[v]) return;
    seen[v] = 1;
    reached[graph.layer_of(v)].push_back(v);
    queue.push_back(v);
  };
  for (std::size_t k = 0; k < layers; ++k) {
    // Nodes without upper neighbours start walks of their own, layer by layer.
    for (const std::uint32_t v : graph.layer(k))
      if (graph.ups(v).empty()) visit(v);
    for (std::size_t next = 0; next < queue.size(); ++next)
      for (const std::uint32_t w : graph.downs(queue[next])) visit(w);
    queue.clear();
  }
  for (std::size_t k = 0; k < layers; ++k) {
    std::copy(reached[k].begin(), reached[k].end(), graph.mutable_layer(k).begin());
    graph.refresh_positions(k);
  }
}

// Every layer in a pseudo-random order (a fixed sequence: the layout is
// the same on every run).
void shuffled_order(ProperGraph& graph, std::mt19937& random) {
  for (std::size_t k = 0; k < graph.layer_count(); ++k) {
    const auto layer = graph.mutable_layer(k);
    for (std::size_t i = layer.size(); i > 1; --i) std::swap(layer[i - 1], layer[random() % i]);
    graph.refresh_positions(k);
  }
}

// Every layer in ascending node order (concepts by index, then dummies).
void index_order(ProperGraph& graph) {
  for (std::size_t k = 0; k < graph.layer_count(); ++k) {
    const auto layer = graph.mutable_layer(k);
    std::sort(layer.begin(), layer.end());
    graph.refresh_positions(k);
  }
}

// Crossings among the edges of a and b on one side, given the sorted
// positions of their neighbours there: with a placed left of b (first) and
// with b left of a (second). A shared neighbour makes no crossing.
std::pair<std::uint64_t, std::uint64_t> pair_crossings(std::span<const std::uint32_t> a,
                                                       std::span<const std::uint32_t> b) {
  std::uint64_t a_first = 0;
  std::uint64_t b_first = 0;
  std::size_t below = 0;    // b's neighbours left of the current one of a
  std::size_t at_most = 0;  // b's neighbours left of or at it
  for (const std::uint32_t x : a) {
    while (below < b.size() && b[below] < x) ++below;
    while (at_most < b.size() && b[at_most] <= x) ++at_most;
    a_first += below;
    b_first += b.size() - at_most;
  }
  return {a_first, b_first};
}

// The weighted median of sorted positions (Gansner et al.): the middle value,
// or for an even count the two middle values weighted towards the side where
// the positions lie closer together.
double weighted_median(std::span<const std::uint32_t> p) {
  const std::size_t m = p.size() / 2;
  if (p.size() % 2 == 1) return p[m];
  if (p.size() == 2) return (static_cast<double>(p[0]) + p[1]) / 2.0;
  const double left = static_cast<double>(p[m - 1]) - p[0];
  const double right = static_cast<double>(p[p.size() - 1]) - p[m];
  if (left + right == 0.0) return (static_cast<double>(p[m - 1]) + p[m]) / 2.0;
  return (p[m - 1] * right + p[m] * left) / (left + right);
}

// The sorted positions of the neighbours of every node of one layer on both
// sides, taken once while the layer's neighbouring layers stay fixed.
// Entry i belongs to the node that was at position i when it was built. The
// lists come out sorted without sorting: the neighbouring layers are walked
// in order and each of their nodes is appended to the lists of its
// neighbours on this layer.
class LayerNeighbourhood {
 public:
  void build(const ProperGraph& graph, std::size_t k) {
    const auto layer = graph.layer(k);
    const std::size_t m = layer.size();
    start_.assign(2 * m + 1, 0);
    for (std::size_t i = 0; i < m; ++i) {
      start_[2 * i + 1] = start_[2 * i] + graph.ups(layer[i]).size();
      start_[2 * i + 2] = start_[2 * i + 1] + graph.downs(layer[i]).size();
    }
    positions_.resize(start_[2 * m]);
    cursor_.assign(start_.begin(), start_.end() - 1);
    if (k > 0) {
      const auto above = graph.layer(k - 1);
      for (std::uint32_t p = 0; p < above.size(); ++p)
        for (const std::uint32_t v : graph.downs(above[p])) positions_[cursor_[2 * graph.position(v)]++] = p;
    }
    if (k + 1 < graph.layer_count()) {
      const auto below = graph.layer(k + 1);
      for (std::uint32_t p = 0; p < below.size(); ++p)
        for (const std::uint32_t v : graph.ups(below[p])) positions_[cursor_[2 * graph.position(v) + 1]++] = p;
    }
  }
  std::span<const std::uint32_t> above(std::size_t i) const { return slice(2 * i); }
  std::span<const std::uint32_t> below(std::size_t i) const { return slice(2 * i + 1); }

 private:
  std::span<const std::uint32_t> slice(std::size_t list) const {
    return std::span<const std::uint32_t>(positions_).subspan(start_[list], start_[list + 1] - start_[list]);
  }

  std::vector<std::size_t> start_;
  std::vector<std::size_t> cursor_;
  std::vector<std::uint32_t> positions_;
};

class Reducer {
 public:
  Reducer(ProperGraph& graph, const KeepGoing& keep_going) : graph_(graph), keep_going_(keep_going) {}

  // One downward (or upward) sweep: each layer in turn is ordered by the
  // weighted medians of its neighbours' positions on the layer before it.
  void median_sweep(Side fixed) {
    for_layers(fixed, [&](std::size_t k) { order_by_medians(k, fixed); });
  }

  // One downward (or upward) sweep of sifting over every layer.
  void sifting_sweep(Side fixed) {
    for_layers(fixed, [&](std::size_t k) { sift_layer(k); });
  }

  // Swaps adjacent nodes of every layer while a swap removes crossings
  // between their edges, up to `limit` passes over all layers.
  void transpose(int limit) {
    for (int pass = 0; pass < limit; ++pass) {
      bool improved = false;
      for (std::size_t k = 0; k < graph_.layer_count() && keep_going(keep_going_); ++k) improved |= transpose_layer(k);
      if (!improved) break;
    }
  }

 private:
  template <typename Visit>
  void for_layers(Side fixed, Visit&& visit) {
    const std::size_t layers = graph_.layer_count();
    if (fixed == Side::Above) {
      for (std::size_t k = 1; k < layers && keep_going(keep_going_); ++k) visit(k);
    } else {
      for (std::size_t k = layers - 1; k-- > 0 && keep_going(keep_going_);) visit(k);
    }
  }

  // Orders layer k by the medians of its neighbours on the fixed side. Nodes
  // without such neighbours keep their places; the others fill the remaining
  // places in median order (ties keep their current order).
  void order_by_medians(std::size_t k, Side fixed) {
    const auto layer = graph_.mutable_layer(k);
    around_.build(graph_, k);
    keyed_.clear();
    for (std::uint32_t i = 0; i < layer.size(); ++i) {
      const auto positions = fixed == Side::Above ? around_.above(i) : around_.below(i);
      if (!positions.empty()) keyed_.push_back(Keyed{weighted_median(positions), i});
    }
    if (keyed_.empty()) return;
    std::stable_sort(keyed_.begin(), keyed_.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    moved_.clear();
    for (const Keyed& entry : keyed_) moved_.push_back(layer[entry.index]);
    std::sort(keyed_.begin(), keyed_.end(), [](const Keyed& a, const Keyed& b) { return a.index < b.index; });
    for (std::size_t next = 0; next < keyed_.size(); ++next) layer[keyed_[next].index] = moved_[next];
    graph_.refresh_positions(k);
  }

  bool transpose_layer(std::size_t k) {
    const std::size_t m = graph_.layer(k).size();
    if (m < 2) return false;
    around_.build(graph_, k);
    entry_of_.resize(m);  // the neighbourhood entry of the node now at each position
    for (std::uint32_t i = 0; i < m; ++i) entry_of_[i] = i;
    bool improved = false;
    for (std::size_t i = 0; i + 1 < m; ++i) {
      const std::uint32_t a = entry_of_[i];
      const std::uint32_t b = entry_of_[i + 1];
      const auto [above_ab, above_ba] = pair_crossings(around_.above(a), around_.above(b));
      const auto [below_ab, below_ba] = pair_crossings(around_.below(a), around_.below(b));
      if (above_ba + below_ba < above_ab + below_ab) {
        graph_.swap_neighbours(k, i);
        std::swap(entry_of_[i], entry_of_[i + 1]);
        improved = true;
      }
    }
    return improved;
  }

  // Sifting (Matuszewski, Schoenfeld and Molitor): each node of the layer in
  // turn leaves its place and returns to the one where its edges cross the
  // fewest others, the other nodes keeping their order. For the node v, the
  // change of crossings when it moves past w is the sum over w's neighbours y
  // of (v's neighbours left of y) - (v's neighbours right of y), read from a
  // table over the positions of the neighbouring layer. So one node costs the
  // sizes of the two neighbouring layers plus the edges at this layer.
  void sift_layer(std::size_t k) {
    const auto layer = graph_.mutable_layer(k);
    const std::size_t m = layer.size();
    if (m < 2) return;
    const std::size_t above = k > 0 ? graph_.layer(k - 1).size() : 0;
    const std::size_t below = k + 1 < graph_.layer_count() ? graph_.layer(k + 1).size() : 0;
    around_.build(graph_, k);
    sequence_.resize(m);  // neighbourhood entries in their current order
    for (std::uint32_t i = 0; i < m; ++i) sequence_[i] = i;
    for (std::uint32_t v = 0; v < m; ++v) {
      const auto at = static_cast<std::size_t>(std::find(sequence_.begin(), sequence_.end(), v) - sequence_.begin());
      sequence_.erase(sequence_.begin() + static_cast<std::ptrdiff_t>(at));
      fill_balance(around_.above(v), above, balance_above_);
      fill_balance(around_.below(v), below, balance_below_);
      // Crossings relative to v at the far left, for each place.
      std::int64_t change = 0;
      std::int64_t best_change = 0;
      std::int64_t change_at_old_place = 0;
      std::size_t best_place = 0;
      for (std::size_t j = 0; j < sequence_.size(); ++j) {
        const std::uint32_t w = sequence_[j];
        for (const std::uint32_t y : around_.above(w)) change += balance_above_[y];
        for (const std::uint32_t y : around_.below(w)) change += balance_below_[y];
        if (j + 1 == at) change_at_old_place = change;
        if (change < best_change) {
          best_change = change;
          best_place = j + 1;
        }
      }
      if (change_at_old_place <= best_change) best_place = at;
      sequence_.insert(sequence_.begin() + static_cast<std::ptrdiff_t>(best_place), v);
    }
    nodes_.assign(layer.begin(), layer.end());
    for (std::size_t i = 0; i < m; ++i) layer[i] = nodes_[sequence_[i]];
    graph_.refresh_positions(k);
  }

  // balance[y] = (v's neighbours on that side left of position y) minus
  // (those right of it): what a neighbour at y of a node w adds to the
  // crossings when v moves from left of w to right of it.
  static void fill_balance(std::span<const std::uint32_t> sorted, std::size_t size, std::vector<std::int64_t>& balance) {
    balance.assign(size, 0);
    if (sorted.empty()) return;
    const auto degree = static_cast<std::int64_t>(sorted.size());
    std::size_t next = 0;
    for (std::size_t y = 0; y < size; ++y) {
      const auto left = static_cast<std::int64_t>(next);
      while (next < sorted.size() && sorted[next] == y) ++next;
      balance[y] = left - (degree - static_cast<std::int64_t>(next));
    }
  }

  struct Keyed {
    double key;
    std::uint32_t index;
  };

  ProperGraph& graph_;
  const KeepGoing& keep_going_;
  std::vector<Keyed> keyed_;
  std::vector<std::uint32_t> moved_;
  std::vector<std::uint32_t> sequence_;
  std::vector<std::int64_t> balance_above_;
  std::vector<std::int64_t> balance_below_;
  LayerNeighbourhood around_;
  std::vector<std::uint32_t> entry_of_;
  std::vector<std::uint32_t> nodes_;
};

// The work of one sifting sweep: per layer, its size times (the sizes of the
// two neighbouring layers plus the segments at the layer).
std::uint64_t sifting_cost(const ProperGraph& graph) {
  std::uint64_t cost = 0;
  for (std::size_t k = 0; k < graph.layer_count(); ++k) {
    std::uint64_t around = 0;
    if (k > 0) around += graph.layer(k - 1).size();
    if (k + 1 < graph.layer_count()) around += graph.layer(k + 1).size();
    for (const std::uint32_t v : graph.layer(k)) around += graph.ups(v).size() + graph.downs(v).size();
    cost += graph.layer(k).size() * around;
  }
  return cost;
}

// The crossings of the graph, layer by layer while the caller lets it go on;
// a stopped count is the largest number, worse than any real one.
std::uint64_t crossings_if_going(const ProperGraph& graph, const KeepGoing& keep) {
  std::uint64_t total = 0;
  for (std::size_t k = 0; k + 1 < graph.layer_count(); ++k) {
    if (!keep_going(keep)) return std::numeric_limits<std::uint64_t>::max();
    total += count_layer_crossings(graph, k);
  }
  return total;
}

// Keeps the best order seen over a run of rounds.
class BestOrder {
 public:
  BestOrder(const ProperGraph& graph, const KeepGoing& keep)
      : keep_(keep), crossings_(crossings_if_going(graph, keep)), order_(graph.order().begin(), graph.order().end()) {}

  // Records the graph's order if it is better; returns whether it was.
  bool offer(const ProperGraph& graph) {
    const std::uint64_t crossings = crossings_if_going(graph, keep_);
    if (crossings >= crossings_) return false;
    crossings_ = crossings;
    order_.assign(graph.order().begin(), graph.order().end());
    return true;
  }
  std::uint64_t crossings() const noexcept { return crossings_; }
  void restore(ProperGraph& graph) const { graph.restore_order(order_); }

 private:
  const KeepGoing& keep_;
  std::uint64_t crossings_;
  std::vector<std::uint32_t> order_;
};

constexpr int kTranspositionPasses = 4;
// Sifting stops once a sweep gains less than this share of the crossings.
constexpr double kSiftingGain = 0.002;

// Median rounds from the graph's current order while they help; leaves the
// best order seen and returns its crossings.
std::uint64_t median_rounds(ProperGraph& graph, const CrossingReductionOptions& options, std::uint32_t rounds) {
  Reducer reducer(graph, options.keep_going);
  BestOrder best(graph, options.keep_going);
  std::uint32_t stalled = 0;
  for (std::uint32_t round = 0;
       round < rounds && best.crossings() > 0 && stalled < options.patience && keep_going(options.keep_going);
       ++round) {
    reducer.median_sweep(round % 2 == 0 ? Side::Above : Side::Below);
    reducer.transpose(kTranspositionPasses);
    stalled = best.offer(graph) ? 0 : stalled + 1;
  }
  best.restore(graph);
  return best.crossings();
}

// Sifting sweeps, alternately down and up, while they gain enough and the
// budget lasts (each sweep takes `sweep_cost` from it).
std::uint64_t sifting_rounds(ProperGraph& graph, std::uint32_t rounds, std::uint64_t sweep_cost,
                             std::uint64_t& budget, const KeepGoing& keep) {
  Reducer reducer(graph, keep);
  BestOrder best(graph, keep);
  for (std::uint32_t round = 0; round < rounds && best.crossings() > 0 && budget >= sweep_cost && keep_going(keep);
       ++round) {
    const std::uint64_t before = best.crossings();
    budget -= sweep_cost;
    reducer.sifting_sweep(round % 2 == 0 ? Side::Above : Side::Below);
    reducer.transpose(kTranspositionPasses);
    if (!best.offer(graph) || static_cast<double>(before - best.crossings()) < kSiftingGain * static_cast<double>(before))
      break;
  }
  best.restore(graph);
  return best.crossings();
}

}  // namespace

std::uint64_t reduce_crossings(ProperGraph& graph, const CrossingReductionOptions& options) {
  if (graph.layer_count() < 2) return 0;
  const std::uint64_t segments = std::max<std::uint64_t>(graph.segment_count(), 1);
  const auto rounds = static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(options.work_budget / segments, options.min_rounds, options.max_rounds));

  // Starting orders, each improved by median rounds and then by sifting
  // while the sifting budget (shared by all of them) lasts; the best result
  // is kept. Graphs small enough get a second order, small ones a few
  // shuffled orders too.
  const std::uint64_t sweep_cost = std::max<std::uint64_t>(sifting_cost(graph), 1);
  std::uint64_t sifting_budget = options.sifting_budget;
  const auto improve = [&] {
    std::uint64_t crossings = median_rounds(graph, options, rounds);
    if (crossings > 0) crossings = sifting_rounds(graph, options.max_rounds, sweep_cost, sifting_budget, options.keep_going);
    return crossings;
  };
  breadth_first_order(graph);
  std::uint64_t best = improve();
  if (segments <= options.restart_limit && best > 0) {
    const std::vector<std::uint32_t> kept(graph.order().begin(), graph.order().end());
    index_order(graph);
    const std::uint64_t other = improve();
    if (other < best) {
      best = other;
    } else {
      graph.restore_order(kept);
    }
  }
  // Small graphs also start from a few shuffled orders.
  const auto restarts = std::min<std::uint64_t>(options.max_restarts, options.restart_budget / segments);
  if (restarts > 0 && best > 0) {
    std::mt19937 random(20260117);
    std::vector<std::uint32_t> kept(graph.order().begin(), graph.order().end());
    for (std::uint64_t r = 0; r < restarts && best > 0; ++r) {
      shuffled_order(graph, random);
      const std::uint64_t other = improve();
      if (other < best) {
        best = other;
        kept.assign(graph.order().begin(), graph.order().end());
      }
    }
    graph.restore_order(kept);
  }
  return best;
}

}  // namespace tessara::layout
