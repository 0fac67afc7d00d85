#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::testing {

// The context with these rows (row g lists the attributes of object g).
inline core::Context context_from_rows(std::uint32_t objects, std::uint32_t attributes,
                                       const std::vector<std::vector<std::uint32_t>>& rows) {
  std::vector<std::string> object_names;
  std::vector<std::string> attribute_names;
  // Built by appending: g++ 12 at -O3 misreads `"g" + std::to_string(g)` as an overlapping copy (-Wrestrict).
  for (std::uint32_t g = 0; g < objects; ++g) object_names.push_back(std::string(1, 'g').append(std::to_string(g)));
  for (std::uint32_t m = 0; m < attributes; ++m)
    attribute_names.push_back(std::string(1, 'm').append(std::to_string(m)));
  std::vector<core::IncidenceRow> incidence(objects, core::IncidenceRow(attributes, false));
  for (std::uint32_t g = 0; g < rows.size(); ++g)
    for (const std::uint32_t m : rows[g]) incidence[g][m] = true;
  return core::Context::create(object_names, attribute_names, incidence).value();
}

// The lattice whose concept i has extents[i] over `objects` objects. The
// extents must be closed under intersection and include the set of all
// objects; they are then the extents of the context with one attribute per
// listed extent, and each concept gets its intent in that context (the
// listed extents containing its own).
inline core::ConceptLattice lattice_from_extents(std::uint32_t objects,
                                                 const std::vector<std::vector<std::uint32_t>>& extents) {
  const auto attributes = static_cast<std::uint32_t>(extents.size());
  std::vector<core::ObjectSet> sets;
  for (const auto& members : extents) {
    core::ObjectSet extent = core::ObjectSet::empty(objects);
    for (const std::uint32_t g : members) extent.insert(g);
    sets.push_back(extent);
  }
  core::ConceptLattice lattice;
  for (const core::ObjectSet& extent : sets) {
    core::AttributeSet intent = core::AttributeSet::empty(attributes);
    for (std::uint32_t k = 0; k < attributes; ++k)
      if (core::is_subset(extent, sets[k])) intent.insert(k);
    lattice.concepts.push_back(core::Concept{extent, intent});
  }
  return lattice;
}

// A random context of the given size: each row has its own density, and now
// and then a row is empty, full or a copy of an earlier one, and a column is
// emptied or filled, so that the word-boundary and degenerate shapes occur.
inline core::Context random_context(std::mt19937& rng, std::uint32_t objects, std::uint32_t attributes) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<std::uint32_t>> rows(objects);
  for (std::uint32_t g = 0; g < objects; ++g) {
    const double kind = unit(rng);
    if (kind < 0.05) continue;
    if (kind < 0.1) {
      for (std::uint32_t m = 0; m < attributes; ++m) rows[g].push_back(m);
    } else if (kind < 0.2 && g > 0) {
      rows[g] = rows[std::uniform_int_distribution<std::uint32_t>(0, g - 1)(rng)];
    } else {
      const double density = unit(rng);
      for (std::uint32_t m = 0; m < attributes; ++m)
        if (unit(rng) < density) rows[g].push_back(m);
    }
  }
  if (attributes > 0 && unit(rng) < 0.3) {
    const std::uint32_t m = std::uniform_int_distribution<std::uint32_t>(0, attributes - 1)(rng);
    const bool fill = unit(rng) < 0.5;
    for (auto& row : rows) {
      std::erase(row, m);
      if (fill) row.push_back(m);
    }
  }
  return context_from_rows(objects, attributes, rows);
}

}  // namespace tessara::testing
