#include "tessara/layout/additive_layout.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "tessara/layout/crossing_count.hpp"
#include "tessara/layout/hasse_graph.hpp"

namespace tessara::layout {
namespace {

// Neighbours on one line count as crowded when their labels would not fit
// between them side by side with this much blank between; closer than the
// clash distance (in units of the layer step), their circles touch or one
// hides the other.
constexpr double kLabelBlank = 8.0;
constexpr double kClashDistance = 0.3;
// One crowded pair weighs as much as this many crossings; a clash far more.
constexpr std::uint64_t kCrowdedWeight = 4;
constexpr std::uint64_t kClashWeight = 1000;
// A drawing wider than the layered one pays this much per layer step of excess width.
constexpr double kWidthWeight = 20.0;
// Work (evaluations times edges and concepts) the search for vectors may take.
constexpr std::uint64_t kSearchBudget = 300'000;

// The irreducible attributes of each concept's intent, as positions among
// the vectors: a concept's place is the sum of these vectors.
struct VectorSums {
  std::vector<std::size_t> start;
  std::vector<std::uint32_t> members;
};

class AdditiveSearch {
 public:
  AdditiveSearch(const DiagramSource& source, VectorSums sums, std::span<const double> half_widths, double step,
                 double max_width)
      : source_(source), sums_(std::move(sums)), half_widths_(half_widths), step_(step), max_width_(max_width) {
    drawing_.edges.assign(source.edges.begin(), source.edges.end());
    drawing_.nodes.resize(source.concepts.size());
  }

  // Places every concept at the sum of its vectors' sideways parts (x) and
  // one step down per vector (y).
  const Drawing& place(std::span<const double> x) {
    for (std::size_t c = 0; c + 1 < sums_.start.size(); ++c) {
      double at = 0.0;
      for (std::size_t i = sums_.start[c]; i < sums_.start[c + 1]; ++i) at += x[sums_.members[i]];
      drawing_.nodes[c] = Point{at, step_ * static_cast<double>(sums_.start[c + 1] - sums_.start[c])};
    }
    return drawing_;
  }

  // Crossings plus a weight per crowded pair of concepts, plus a weight per
  // step the drawing is wider than the layered one: lower is better.
  std::uint64_t cost(std::span<const double> x) {
    place(x);
    ++evaluations_;
    double left = drawing_.nodes.front().x;
    double right = left;
    for (const Point& p : drawing_.nodes) {
      left = std::min(left, p.x);
      right = std::max(right, p.x);
    }
    const double excess = std::max(0.0, right - left - max_width_) / step_;
    return count_crossings(drawing_) + crowding() + static_cast<std::uint64_t>(std::ceil(kWidthWeight * excess));
  }

  std::uint64_t evaluations() const noexcept { return evaluations_; }

 private:
  // The weights of the pairs of concepts on one layer that crowd or clash
  // (concepts on different layers are at least a step apart).
  std::uint64_t crowding() {
    order_.resize(drawing_.nodes.size());
    std::iota(order_.begin(), order_.end(), 0u);
    const auto& nodes = drawing_.nodes;
    std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return nodes[a].y != nodes[b].y ? nodes[a].y < nodes[b].y : nodes[a].x < nodes[b].x;
    });
    std::uint64_t weight = 0;
    for (std::size_t i = 0; i + 1 < order_.size(); ++i) {
      const Point a = nodes[order_[i]];
      const Point b = nodes[order_[i + 1]];
      if (b.y != a.y) continue;
      const double need = half_widths_[order_[i]] + half_widths_[order_[i + 1]] + kLabelBlank;
      if (b.x - a.x < kClashDistance * step_) {
        weight += kClashWeight;
      } else if (b.x - a.x < need) {
        weight += kCrowdedWeight;
      }
    }
    return weight;
  }

  const DiagramSource& source_;
  VectorSums sums_;
  std::span<const double> half_widths_;
  double step_;
  double max_width_;
  Drawing drawing_;
  std::vector<std::uint32_t> order_;
  std::uint64_t evaluations_ = 0;
};

void centre(std::vector<double>& x) {
  if (x.empty()) return;
  const double mean = std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
  for (double& value : x) value -= mean;
}

}  // namespace

Drawing additive_layout(const DiagramSource& source, const ConceptFacts& facts, const Drawing& layered,
                        std::span<const double> half_widths) {
  const std::size_t n = source.concepts.size();
  Drawing drawing;
  drawing.edges.assign(source.edges.begin(), source.edges.end());
  if (n == 0) return drawing;
  const HasseGraph graph(n, source.edges);

  // One vector per meet-irreducible attribute concept, on its first attribute:
  // one step down, and sideways as far as the concept lies from its upper
  // cover in the layered drawing per layer between them.
  double step = 0.0;
  for (const Point& p : layered.nodes)
    if (p.y > 0.0 && (step == 0.0 || p.y < step)) step = p.y;
  if (step == 0.0) step = 64.0;
  constexpr std::uint32_t kNone = ~std::uint32_t{0};
  std::vector<std::uint32_t> vector_index(source.context.n_attributes(), kNone);
  std::vector<double> x;
  for (std::uint32_t c = 0; c < n; ++c) {
    const auto own = facts.own_attributes[c];
    const auto uppers = graph.uppers(c);
    if (own.empty() || uppers.size() != 1) continue;
    const Point from = layered.nodes[uppers[0]];
    const Point to = layered.nodes[c];
    const double layers = std::max(1.0, std::round((to.y - from.y) / step));
    vector_index[own[0]] = static_cast<std::uint32_t>(x.size());
    x.push_back((to.x - from.x) / layers);
  }
  VectorSums sums;
  sums.start.assign(1, 0);
  for (std::uint32_t c = 0; c < n; ++c) {
    source.concepts.for_each_intent_member(c, [&](std::uint32_t m) {
      if (vector_index[m] != kNone) sums.members.push_back(vector_index[m]);
    });
    sums.start.push_back(sums.members.size());
  }
  // Sideways parts balanced around zero, so the bottom (the sum of all
  // vectors) lies under the top.
  centre(x);

  // The layered drawing's vectors are a start; the search then picks the
  // sideways parts that cross least and crowd concepts least: the start
  // widened, the vectors spread evenly in their left-to-right order, and
  // each vector in turn moved while that helps, as far as the budget goes.
  double layered_left = layered.nodes.front().x;
  double layered_right = layered_left;
  for (const Point& p : layered.nodes) {
    layered_left = std::min(layered_left, p.x);
    layered_right = std::max(layered_right, p.x);
  }
  AdditiveSearch search(source, std::move(sums), half_widths, step, std::max(layered_right - layered_left, 2.0 * step));
  const std::uint64_t work = source.edges.size() + n + 1;
  const auto affordable = [&] { return (search.evaluations() + 1) * work <= kSearchBudget; };
  std::vector<double> best = x;
  std::uint64_t best_cost = search.cost(best);
  const auto consider = [&](std::vector<double> candidate) {
    if (!affordable()) return;
    centre(candidate);
    const std::uint64_t cost = search.cost(candidate);
    if (cost < best_cost) {
      best_cost = cost;
      best = std::move(candidate);
    }
  };
  double spread = 0.0;
  for (const double value : x) spread = std::max(spread, std::fabs(value));
  const double unit = std::max(0.5 * step, spread > 0.0 ? spread / std::max<double>(1.0, x.size() / 2.0) : 0.5 * step);
  for (const double widen : {1.5, 2.0}) {
    std::vector<double> wider = x;
    for (double& value : wider) value *= widen;
    consider(std::move(wider));
  }
  std::vector<std::uint32_t> by_x(x.size());
  std::iota(by_x.begin(), by_x.end(), 0u);
  std::stable_sort(by_x.begin(), by_x.end(), [&](std::uint32_t a, std::uint32_t b) { return x[a] < x[b]; });
  for (const double width : {0.75, 1.0, 1.5}) {
    std::vector<double> even(x.size());
    for (std::size_t rank = 0; rank < by_x.size(); ++rank) even[by_x[rank]] = width * unit * static_cast<double>(rank);
    consider(std::move(even));
  }
  for (int pass = 0; pass < 16 && affordable(); ++pass) {
    const std::uint64_t before = best_cost;
    for (std::size_t m = 0; m < best.size() && affordable(); ++m) {
      for (const double move : {-1.0, 1.0, -0.5, 0.5, -0.25, 0.25}) {
        std::vector<double> moved = best;
        moved[m] += move * unit;
        consider(std::move(moved));
      }
      std::vector<double> mirrored = best;  // the vector turned to the other side
      mirrored[m] = -mirrored[m];
      consider(std::move(mirrored));
    }
    if (best_cost == before) break;
  }

  drawing.nodes = search.place(best).nodes;
  // Offset by the first top concept's layered place, so both drawings share an origin.
  for (std::uint32_t c = 0; c < n; ++c)
    if (graph.uppers(c).empty()) {
      const Point origin{layered.nodes[c].x - drawing.nodes[c].x, layered.nodes[c].y - drawing.nodes[c].y};
      for (Point& p : drawing.nodes) {
        p.x += origin.x;
        p.y += origin.y;
      }
      break;
    }
  return drawing;
}

}  // namespace tessara::layout
