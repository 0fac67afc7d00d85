// The core pieces under tessara.lab against brute force on seeded random
// contexts of the shapes that break word-parallel code: reduction, the
// lattice look-ups, sub-contexts and the dual.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "tessara/core/lattice_lookup.hpp"
#include "tessara/core/reduction.hpp"
#include "tessara/core/subcontext.hpp"
#include "tessara/engine/catalogue.hpp"

namespace tessara::core {
namespace {

struct Shape {
  std::uint32_t objects;
  std::uint32_t attributes;
};

std::string shape_label(const ::testing::TestParamInfo<Shape>& info) {
  return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes);
}

ConceptList concepts_of(const Context& context) { return engine::algorithm_by_name("fcbo")->compute(context).concepts; }

std::vector<Concept> owned(const ConceptList& list) {
  std::vector<Concept> out;
  for (const ConceptView c : list) out.push_back(c.to_concept());
  return out;
}

// Whether a is a proper subset of b.
template <typename Set>
bool proper_subset(const Set& a, const Set& b) {
  return is_subset(a, b) && !(a == b);
}

// The number of concepts that c covers (lower) or that cover c (upper), from
// the definition: no concept lies strictly between.
std::size_t cover_count(const std::vector<Concept>& all, const Concept& c, bool upper) {
  std::size_t count = 0;
  for (const Concept& d : all) {
    const bool related = upper ? proper_subset(c.extent, d.extent) : proper_subset(d.extent, c.extent);
    if (!related) continue;
    const bool between = std::any_of(all.begin(), all.end(), [&](const Concept& e) {
      return upper ? proper_subset(c.extent, e.extent) && proper_subset(e.extent, d.extent)
                   : proper_subset(d.extent, e.extent) && proper_subset(e.extent, c.extent);
    });
    if (!between) ++count;
  }
  return count;
}

std::size_t index_of_extent(const std::vector<Concept>& all, const ObjectSet& extent) {
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all[i].extent == extent) return i;
  return all.size();
}

class LabCore : public ::testing::TestWithParam<Shape> {
 protected:
  std::mt19937 rng{GetParam().objects * 7919u + GetParam().attributes};
  Context next_context() { return testing::random_context(rng, GetParam().objects, GetParam().attributes); }
};

// An object is kept by reducing exactly when it is the first with its row and
// its object concept has one lower cover (is join-irreducible); dually for
// attributes. The reduced and clarified contexts have as many concepts.
TEST_P(LabCore, ReductionKeepsTheIrreducibleElements) {
  for (int round = 0; round < 40; ++round) {
    const Context context = next_context();
    const ConceptList list = concepts_of(context);
    const std::vector<Concept> all = owned(list);
    std::vector<std::uint32_t> first_objects;
    std::vector<std::uint32_t> irreducible;
    for (std::uint32_t g = 0; g < context.n_objects(); ++g) {
      bool first = true;
      for (std::uint32_t h = 0; h < g; ++h) first = first && !(context.row(h) == context.row(g));
      if (!first) continue;
      first_objects.push_back(g);
      ObjectSet objects = ObjectSet::empty(context.n_objects());
      objects.insert(g);
      const ObjectSet extent = context.extent_of(context.intent_of(objects));
      if (cover_count(all, all.at(index_of_extent(all, extent)), false) == 1) irreducible.push_back(g);
    }
    EXPECT_EQ(clarified_objects(context), first_objects);
    EXPECT_EQ(irreducible_objects(context), irreducible);

    std::vector<std::uint32_t> first_attributes;
    std::vector<std::uint32_t> meet_irreducible;
    for (std::uint32_t m = 0; m < context.n_attributes(); ++m) {
      AttributeSet attribute = AttributeSet::empty(context.n_attributes());
      attribute.insert(m);
      const ObjectSet column = context.extent_of(attribute);
      bool first = true;
      for (std::uint32_t n = 0; n < m; ++n) {
        AttributeSet other = AttributeSet::empty(context.n_attributes());
        other.insert(n);
        first = first && !(context.extent_of(other) == column);
      }
      if (!first) continue;
      first_attributes.push_back(m);
      if (cover_count(all, all.at(index_of_extent(all, column)), true) == 1) meet_irreducible.push_back(m);
    }
    EXPECT_EQ(clarified_attributes(context), first_attributes);
    EXPECT_EQ(irreducible_attributes(context), meet_irreducible);

    const Context reduced = subcontext(context, irreducible, meet_irreducible);
    EXPECT_EQ(concepts_of(reduced).size(), list.size());
  }
}

// join, meet, object and attribute concepts equal the concepts the order
// definitions pick out of the whole list.
TEST_P(LabCore, LookupsAgreeWithTheOrder) {
  for (int round = 0; round < 40; ++round) {
    const Context context = next_context();
    const ConceptList list = concepts_of(context);
    const std::vector<Concept> all = owned(list);
    const LatticeLookup lookup(context, list);
    // The index of the concept with the smallest (largest) extent among those the test accepts.
    const auto best_of = [&](auto&& accepts, bool smallest) {
      std::size_t best = all.size();
      for (std::size_t i = 0; i < all.size(); ++i) {
        if (!accepts(all[i])) continue;
        const bool better = best == all.size() || (smallest ? all[i].extent.count() < all[best].extent.count()
                                                            : all[i].extent.count() > all[best].extent.count());
        if (better) best = i;
      }
      return best;
    };
    const auto smallest_above = [&](const ObjectSet& objects) {
      return best_of([&](const Concept& c) { return is_subset(objects, c.extent); }, true);
    };
    const auto largest_below = [&](const ObjectSet& objects) {
      return best_of([&](const Concept& c) { return is_subset(c.extent, objects); }, false);
    };
    std::uniform_int_distribution<std::uint32_t> pick(0, static_cast<std::uint32_t>(all.size() - 1));
    for (int question = 0; question < 20; ++question) {
      const std::uint32_t a = pick(rng);
      const std::uint32_t b = pick(rng);
      ObjectSet both = all[a].extent;
      for (const std::uint32_t g : all[b].extent.members()) both.insert(g);
      EXPECT_EQ(lookup.join(a, b), smallest_above(both));
      EXPECT_EQ(lookup.meet(a, b), largest_below(intersection(all[a].extent, all[b].extent)));
    }
    for (std::uint32_t g = 0; g < context.n_objects(); ++g) {
      ObjectSet objects = ObjectSet::empty(context.n_objects());
      objects.insert(g);
      EXPECT_EQ(lookup.object_concept(g), smallest_above(objects));
    }
    for (std::uint32_t m = 0; m < context.n_attributes(); ++m)
      EXPECT_EQ(lookup.attribute_concept(m), best_of([&](const Concept& c) { return c.intent.contains(m); }, false));
  }
}

// A sub-context holds the chosen cells in the chosen order; the dual of the
// dual is the context itself.
TEST_P(LabCore, SubcontextAndDualHoldTheChosenCells) {
  for (int round = 0; round < 40; ++round) {
    const Context context = next_context();
    std::vector<std::uint32_t> objects;
    std::vector<std::uint32_t> attributes;
    std::uniform_int_distribution<std::uint32_t> coin(0, 3);
    for (std::uint32_t g = context.n_objects(); g-- > 0;)
      if (coin(rng) != 0) objects.push_back(g);
    for (std::uint32_t m = 0; m < context.n_attributes(); ++m)
      if (coin(rng) != 0) attributes.push_back(m);
    if (!attributes.empty()) attributes.push_back(attributes.front());  // chosen twice
    const Context chosen = subcontext(context, objects, attributes);
    ASSERT_EQ(chosen.n_objects(), objects.size());
    ASSERT_EQ(chosen.n_attributes(), attributes.size());
    for (std::size_t k = 0; k < objects.size(); ++k) {
      EXPECT_EQ(chosen.object_name(k), context.object_name(objects[k]));
      for (std::size_t l = 0; l < attributes.size(); ++l)
        EXPECT_EQ(chosen.row(k).contains(l), context.row(objects[k]).contains(attributes[l]));
    }

    const Context transposed = dual(context);
    ASSERT_EQ(transposed.n_objects(), context.n_attributes());
    for (std::uint32_t m = 0; m < context.n_attributes(); ++m)
      for (std::uint32_t g = 0; g < context.n_objects(); ++g)
        EXPECT_EQ(transposed.row(m).contains(g), context.row(g).contains(m));
    const Context back = dual(transposed);
    EXPECT_EQ(back.objects(), context.objects());
    EXPECT_EQ(back.attributes(), context.attributes());
    EXPECT_TRUE(std::ranges::equal(back.rows(), context.rows()));
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, LabCore,
                         ::testing::Values(Shape{0, 0}, Shape{0, 4}, Shape{4, 0}, Shape{1, 1}, Shape{1, 6},
                                           Shape{6, 1}, Shape{63, 5}, Shape{64, 5}, Shape{65, 5}, Shape{5, 63},
                                           Shape{5, 64}, Shape{5, 65}, Shape{12, 10}, Shape{20, 7}),
                         shape_label);

}  // namespace
}  // namespace tessara::core
