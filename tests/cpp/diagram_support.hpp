#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/formats/read_context.hpp"
#include "tessara/layout/concept_facts.hpp"

namespace tessara::testing {

// A file of the repository, by its path from the repository's root.
inline std::string repository_file(const std::string& relative) {
  const auto root = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  std::ifstream in(root / relative, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

inline core::Context repository_context(const std::string& relative) {
  return formats::read_context(repository_file(relative), relative).value();
}

// A context with its lattice and cover edges, ready to be drawn.
struct DrawnLattice {
  core::Context context;
  core::ConceptLattice lattice;
  std::vector<core::CoverEdge> edges;

  layout::DiagramSource source() const { return layout::DiagramSource{context, lattice.concepts, edges}; }
};

inline DrawnLattice drawn_lattice(core::Context context) {
  DrawnLattice drawn{std::move(context), {}, {}};
  drawn.lattice = engine::algorithm_by_name("fcbo")->compute(drawn.context);
  drawn.edges = core::covering_edges(drawn.lattice);
  return drawn;
}

// The part of the lattice with at least `min_support` objects (closed
// upward, like an iceberg lattice), renumbered, with its cover edges.
inline DrawnLattice iceberg_of(const DrawnLattice& whole, std::uint64_t min_support) {
  DrawnLattice part{whole.context, {}, {}};
  std::vector<std::uint32_t> index(whole.lattice.concepts.size(), ~std::uint32_t{0});
  for (std::size_t i = 0; i < whole.lattice.concepts.size(); ++i)
    if (whole.lattice.concepts.extent_size(i) >= min_support) {
      index[i] = static_cast<std::uint32_t>(part.lattice.concepts.size());
      part.lattice.concepts.push_back(whole.lattice.concepts[i].to_concept());
    }
  for (const core::CoverEdge& edge : whole.edges)
    if (index[edge.lower] != ~std::uint32_t{0}) part.edges.push_back(core::CoverEdge{index[edge.lower], index[edge.upper]});
  return part;
}

// Seeded random contexts whose lattices have at most `max_concepts` concepts.
inline std::vector<core::Context> seeded_contexts(std::uint32_t seed, int count, std::size_t max_concepts) {
  std::mt19937 rng(seed);
  std::vector<core::Context> contexts;
  for (int tries = 0; static_cast<int>(contexts.size()) < count && tries < 10 * count; ++tries) {
    const auto objects = std::uniform_int_distribution<std::uint32_t>(8, 70)(rng);
    const auto attributes = std::uniform_int_distribution<std::uint32_t>(6, 18)(rng);
    core::Context context = random_context(rng, objects, attributes);
    if (engine::algorithm_by_name("fcbo")->compute(context).concepts.size() <= max_concepts)
      contexts.push_back(std::move(context));
  }
  return contexts;
}

}  // namespace tessara::testing
