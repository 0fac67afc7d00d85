#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "rules_oracle.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/engine/minimal_generators.hpp"
#include "tessara/engine/minimal_transversals.hpp"
#include "tessara/engine/stability.hpp"

namespace tessara::engine {
namespace {

using testing::Mask;
__extension__ using Wide = unsigned __int128;

// Smaller first, then the one holding the smallest attribute they differ in.
bool key_before(Mask x, Mask y) {
  if (std::popcount(x) != std::popcount(y)) return std::popcount(x) < std::popcount(y);
  return x != y && ((x ^ y) & x & ~((x ^ y) - 1)) != 0;
}

std::vector<Mask> keys_by_brute_force(const testing::Oracle& oracle, Mask intent) {
  std::vector<Mask> keys;
  testing::for_each_subset(intent, [&](Mask x) {
    if (oracle.closure(x) != intent) return;
    for (std::uint32_t m = 0; m < oracle.n_attributes; ++m)
      if ((x >> m & 1) != 0 && oracle.closure(x & ~(Mask{1} << m)) == intent) return;
    keys.push_back(x);
  });
  std::sort(keys.begin(), keys.end(), key_before);
  return keys;
}

// The share of the extent's subsets whose derived intent is the concept's.
double stability_by_definition(const testing::Oracle& oracle, Mask extent, Mask intent) {
  std::uint64_t deriving = 0;
  testing::for_each_subset(extent, [&](Mask subset) { deriving += oracle.intent(subset) == intent ? 1 : 0; });
  return std::ldexp(static_cast<double>(deriving), -std::popcount(extent));
}

TEST(ConceptMeasures, EqualTheirDefinitionsOnSmallContexts) {
  std::mt19937 rng(7);
  const double confidence = 1.0 - 1e-6;
  const std::uint64_t samples = 4000;
  const double bound = stability_error_bound(samples, confidence);
  for (int round = 0; round < 300; ++round) {
    const std::size_t n_objects = round % 13;
    const std::size_t n_attributes = round % 11;
    const testing::Oracle oracle{testing::awkward_rows(rng, n_objects, n_attributes, 0.5), n_attributes};
    // Keys need only the concepts above: check them on iceberg lattices too.
    const std::uint64_t min_support = round % 4 == 0 ? n_objects / 3 : 0;
    const testing::OracleLattice lattice = testing::oracle_lattice(oracle, min_support, rng);
    const core::CoverGraph graph = lattice.graph();
    const GeneratorTable keys = minimal_generators(lattice.concepts, graph);
    ASSERT_EQ(keys.first.size(), lattice.masks.size() + 1);
    for (std::size_t i = 0; i < lattice.masks.size(); ++i) {
      std::vector<Mask> found;
      for (std::uint64_t k = keys.first[i]; k < keys.first[i + 1]; ++k) {
        Mask key = 0;
        core::for_each_bit(keys.key(k), [&](std::uint32_t m) { key |= Mask{1} << m; });
        found.push_back(key);
      }
      ASSERT_EQ(found, keys_by_brute_force(oracle, lattice.masks[i].second)) << "round " << round << " concept " << i;
    }
    if (min_support != 0) continue;

    const auto exact = *exact_stability(lattice.concepts, graph);
    const auto sampled = sampled_stability(lattice.concepts, graph, samples, 20260101);
    const auto delta = delta_stability(lattice.concepts, graph);
    for (std::size_t i = 0; i < lattice.masks.size(); ++i) {
      const auto [extent, intent] = lattice.masks[i];
      ASSERT_EQ(exact[i], stability_by_definition(oracle, extent, intent)) << "round " << round << " concept " << i;
      ASSERT_LE(std::abs(sampled[i] - exact[i]), bound) << "round " << round << " concept " << i;
      int largest_below = -1;
      for (const auto& [lower_extent, lower_intent] : lattice.masks)
        if (lower_extent != extent && (lower_extent & ~extent) == 0)
          largest_below = std::max(largest_below, std::popcount(lower_extent));
      ASSERT_EQ(delta[i], static_cast<std::uint64_t>(std::popcount(extent) - std::max(largest_below, 0))) << round;
    }
    EXPECT_EQ(sampled, sampled_stability(lattice.concepts, graph, samples, 20260101));
  }
}

// Extents of 64 to 120 objects take the floating-point path (and beyond 96
// objects of difference, the window): compared with the counts in 128-bit
// integers, s(c) = 2^|A| minus s over every concept below, the order by
// extent inclusion.
TEST(ExactStability, MatchesWideIntegerCountsOnLargeExtents) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    const std::size_t n_objects = 64 + static_cast<std::size_t>(round) * 3;
    const auto rows = testing::awkward_rows(rng, n_objects, 6, 0.7);
    core::ConceptLattice full = algorithm_by_name("fcbo")->compute(testing::context_from_rows(rows, 6));
    const core::CoverGraph graph(full.concepts.size(), core::covering_edges(full));
    const auto found = *exact_stability(full.concepts, graph);
    EXPECT_FALSE(exact_stability(full.concepts, graph, 10).has_value());
    const core::ConceptList& concepts = full.concepts;
    std::vector<std::size_t> order(concepts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return concepts.extent_size(a) < concepts.extent_size(b); });
    std::vector<Wide> count(concepts.size(), 0);
    for (const std::size_t c : order) {
      Wide below = 0;
      for (const std::size_t d : order)
        // d's extent lies inside c's exactly when c's intent lies inside d's.
        if (d != c && concepts[c].intent.is_subset_of(concepts[d].intent)) below += count[d];
      count[c] = (Wide{1} << concepts.extent_size(c)) - below;
      const double expected = std::ldexp(static_cast<double>(count[c]), -static_cast<int>(concepts.extent_size(c)));
      ASSERT_NEAR(found[c], expected, 1e-14) << "round " << round << " concept " << c;
    }
  }
}

// Vertices on both sides of word boundaries and more edges than a word holds:
// the transversals equal the brute-force ones over the vertices in use.
TEST(TransversalSearch, FindsEveryMinimalTransversalOnceAcrossWords) {
  const std::vector<std::uint32_t> place{0, 1, 63, 64, 65, 127, 128, 129, 191, 192};
  std::mt19937 rng(3);
  TransversalSearch search(200);
  struct Collect final : TransversalListener {
    std::vector<Mask> sets;
    std::vector<std::uint32_t> index_of = std::vector<std::uint32_t>(200, 0);
    void found(std::span<const std::uint32_t> transversal) override {
      Mask mask = 0;
      for (const std::uint32_t v : transversal) mask |= Mask{1} << index_of[v];
      sets.push_back(mask);
    }
  } collect;
  for (std::uint32_t k = 0; k < place.size(); ++k) collect.index_of[place[k]] = k;
  for (int round = 0; round < 200; ++round) {
    const std::size_t n_edges = static_cast<std::size_t>(round % 90);
    std::vector<Mask> edges;
    search.clear();
    for (std::size_t e = 0; e < n_edges; ++e) {
      const Mask edge = static_cast<Mask>(rng()) & static_cast<Mask>(rng()) & 0x3ffu;
      edges.push_back(edge);
      std::vector<std::uint64_t> words(search.vertex_stride(), 0);
      for (std::uint32_t k = 0; k < place.size(); ++k)
        if ((edge >> k & 1) != 0) words[place[k] / 64] |= std::uint64_t{1} << (place[k] % 64);
      search.add_edge(words);
    }
    const auto hits_all = [&](Mask set) {
      return std::all_of(edges.begin(), edges.end(), [&](Mask edge) { return (edge & set) != 0; });
    };
    std::vector<Mask> expected;
    for (Mask set = 0; set < 1024; ++set) {
      bool minimal = hits_all(set);
      for (std::uint32_t k = 0; k < place.size() && minimal; ++k)
        if ((set >> k & 1) != 0) minimal = !hits_all(set & ~(Mask{1} << k));
      if (minimal) expected.push_back(set);
    }
    collect.sets.clear();
    search.run(collect);
    std::sort(collect.sets.begin(), collect.sets.end());
    ASSERT_EQ(collect.sets, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace tessara::engine
