#pragma once

// Test support for the core and engine tests: small contexts written as lists
// of attribute indices, seeded random contexts, and brute-force definitions of
// derivation, concepts and pseudo-intents on contexts of at most 16 attributes,
// with attribute sets held as plain bit masks (bit k = attribute k).

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::testing {

using Mask = std::uint32_t;
using Rows = std::vector<std::vector<bool>>;

// "a12", "g3": built by appending, which keeps g++ 12's -Wrestrict false
// positive on `"a" + std::to_string(m)` out of the build.
inline std::string indexed_name(char letter, std::size_t index) {
  std::string name(1, letter);
  name.append(std::to_string(index));
  return name;
}

// Object g gets the attributes listed at position g; names are g0.. and a0...
inline core::Context context_from_lists(std::uint32_t n_attributes,
                                        const std::vector<std::vector<std::uint32_t>>& objects) {
  std::vector<std::string> object_names;
  std::vector<std::string> attribute_names;
  std::vector<core::IncidenceRow> rows;
  for (std::uint32_t m = 0; m < n_attributes; ++m) attribute_names.push_back(indexed_name('a', m));
  for (std::size_t g = 0; g < objects.size(); ++g) {
    object_names.push_back(indexed_name('g', g));
    core::IncidenceRow row(n_attributes, false);
    for (const std::uint32_t m : objects[g]) row.at(m) = true;
    rows.push_back(std::move(row));
  }
  auto context = core::Context::create(std::move(object_names), std::move(attribute_names), std::move(rows));
  if (!context) throw std::logic_error(context.error().message());
  return std::move(*context);
}

inline Rows random_rows(std::mt19937& rng, std::size_t n_objects, std::size_t n_attributes, double density) {
  std::bernoulli_distribution has(density);
  Rows rows(n_objects, std::vector<bool>(n_attributes));
  for (auto& row : rows)
    for (std::size_t m = 0; m < n_attributes; ++m) row[m] = has(rng);
  return rows;
}

inline core::Context context_from_rows(const Rows& rows, std::size_t n_attributes) {
  std::vector<std::string> objects(rows.size(), "g");
  std::vector<std::string> attributes(n_attributes, "a");
  auto context = core::Context::create(std::move(objects), std::move(attributes), Rows(rows));
  if (!context) throw std::logic_error(context.error().message());
  return std::move(*context);
}

// Random rows, then a few rows and columns forced empty, full or copied: the
// shapes where word-parallel code and inherited state go wrong.
inline Rows awkward_rows(std::mt19937& rng, std::size_t n_objects, std::size_t n_attributes, double density) {
  Rows rows = random_rows(rng, n_objects, n_attributes, density);
  if (n_objects == 0 || n_attributes == 0) return rows;
  std::uniform_int_distribution<std::size_t> object(0, n_objects - 1);
  std::uniform_int_distribution<std::size_t> attribute(0, n_attributes - 1);
  std::uniform_int_distribution<int> twist(0, 5);
  for (int step = 0; step < 3; ++step) {
    switch (twist(rng)) {
      case 0:
        rows[object(rng)].assign(n_attributes, false);
        break;
      case 1:
        rows[object(rng)].assign(n_attributes, true);
        break;
      case 2:
        rows[object(rng)] = rows[object(rng)];
        break;
      case 3: {
        const std::size_t m = attribute(rng);
        for (auto& row : rows) row[m] = false;
        break;
      }
      case 4: {
        const std::size_t m = attribute(rng);
        for (auto& row : rows) row[m] = true;
        break;
      }
      default:
        break;
    }
  }
  return rows;
}

template <typename Set>
Set set_of(std::uint64_t capacity, std::initializer_list<std::uint32_t> members) {
  Set set = Set::empty(capacity);
  for (const std::uint32_t i : members) set.insert(i);
  return set;
}

template <typename Set>
Mask mask_of(const Set& set) {
  Mask mask = 0;
  for (const std::uint32_t i : set.members()) mask |= Mask{1} << i;
  return mask;
}

// The brute-force side, written from the definitions with no word tricks.
struct Oracle {
  Rows rows;
  std::size_t n_attributes;

  Mask all_attributes() const { return n_attributes == 0 ? 0 : (Mask{1} << n_attributes) - 1; }
  Mask all_objects() const { return rows.empty() ? 0 : (Mask{1} << rows.size()) - 1; }

  Mask extent(Mask attributes) const {
    Mask out = 0;
    for (std::size_t g = 0; g < rows.size(); ++g) {
      bool all = true;
      for (std::size_t m = 0; m < n_attributes; ++m)
        if ((attributes >> m & 1) != 0 && !rows[g][m]) all = false;
      if (all) out |= Mask{1} << g;
    }
    return out;
  }

  Mask intent(Mask objects) const {
    Mask out = 0;
    for (std::size_t m = 0; m < n_attributes; ++m) {
      bool all = true;
      for (std::size_t g = 0; g < rows.size(); ++g)
        if ((objects >> g & 1) != 0 && !rows[g][m]) all = false;
      if (all) out |= Mask{1} << m;
    }
    return out;
  }

  Mask closure(Mask attributes) const { return intent(extent(attributes)); }

  // Every pair (A, B) with A' = B and B' = A, as (extent mask, intent mask).
  std::vector<std::pair<Mask, Mask>> concepts() const {
    std::vector<std::pair<Mask, Mask>> out;
    for (Mask b = 0; b <= all_attributes(); ++b) {
      const Mask a = extent(b);
      if (intent(a) == b) out.emplace_back(a, b);
      if (b == all_attributes()) break;
    }
    return out;
  }

  // Pseudo-intents: P != P'' and Q'' is inside P for every pseudo-intent Q
  // properly inside P. Decided in order of size, so smaller ones are known.
  std::vector<Mask> pseudo_intents() const {
    std::vector<Mask> found;
    for (int size = 0; size <= static_cast<int>(n_attributes); ++size) {
      std::vector<Mask> this_size;
      for (Mask p = 0; p <= all_attributes(); ++p) {
        if (std::popcount(p) == size && closure(p) != p) {
          bool respects_smaller = true;
          for (const Mask q : found)
            if ((q & ~p) == 0 && q != p && (closure(q) & ~p) != 0) respects_smaller = false;
          if (respects_smaller) this_size.push_back(p);
        }
        if (p == all_attributes()) break;
      }
      found.insert(found.end(), this_size.begin(), this_size.end());
    }
    return found;
  }
};

// Lectic order with attribute 0 most significant: x comes before y when the
// smallest attribute in exactly one of them belongs to y.
inline bool lectically_before(Mask x, Mask y) {
  if (x == y) return false;
  const int smallest = std::countr_zero(x ^ y);
  return (y >> smallest & 1) != 0;
}

}  // namespace tessara::testing
