// The fast kernels against the straightforward walks in tests/cpp/reference,
// element by element, on seeded random contexts of the shapes that break
// word-parallel code: 0 and 1 objects or attributes, sizes around the 64-bit
// word boundaries, duplicate rows, empty and full rows and columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fca_oracle.hpp"
#include "reference/close_by_one.hpp"
#include "reference/next_closure.hpp"
#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {
namespace {

// The position of the first concept where two lists differ, or their common
// size when they agree (the shorter size when only the lengths differ).
std::size_t first_difference(const core::ConceptList& a, const core::ConceptList& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if (!(a[i].extent == b[i].extent) || !(a[i].intent == b[i].intent)) return i;
  return n;
}

// Random rows of the given density, then the awkward features mixed in:
// copies of earlier rows, empty and full rows, empty and full columns.
testing::Rows awkward_rows(std::mt19937& rng, std::size_t n_objects, std::size_t n_attributes, double density) {
  testing::Rows rows = testing::random_rows(rng, n_objects, n_attributes, density);
  std::uniform_int_distribution<int> feature(0, 9);
  for (std::size_t g = 0; g < n_objects; ++g) {
    switch (feature(rng)) {
      case 0:
        if (g > 0) rows[g] = rows[std::uniform_int_distribution<std::size_t>(0, g - 1)(rng)];
        break;
      case 1:
        std::fill(rows[g].begin(), rows[g].end(), false);
        break;
      case 2:
        std::fill(rows[g].begin(), rows[g].end(), true);
        break;
      default:
        break;
    }
  }
  for (std::size_t m = 0; m < n_attributes; ++m) {
    const int kind = feature(rng);
    if (kind > 1) continue;
    for (auto& row : rows) row[m] = kind == 1;
  }
  return rows;
}

void expect_same_as_references(const core::Context& context, const std::string& label) {
  const core::ConceptLattice lectic = reference::next_closure(context);
  const core::ConceptLattice depth_first = reference::close_by_one(context);
  struct Expected {
    std::string_view algorithm;
    const core::ConceptList* concepts;
  };
  for (const Expected expected : {Expected{"next-closure", &lectic.concepts}, Expected{"fcbo", &depth_first.concepts},
                                  Expected{"in-close-5", &depth_first.concepts}}) {
    const core::ConceptLattice found = algorithm_by_name(expected.algorithm)->compute(context);
    ASSERT_EQ(found.concepts.size(), expected.concepts->size()) << expected.algorithm << " " << label;
    ASSERT_TRUE(found.concepts == *expected.concepts)
        << expected.algorithm << " " << label << ": first difference at concept "
        << first_difference(found.concepts, *expected.concepts);
  }
}

// Many objects, most with no attributes, the others taking one of a few row
// patterns: extents then hold a handful of objects spread over many words,
// the shape the kernels take object by object.
testing::Rows scattered_patterns(std::mt19937& rng, std::size_t n_objects, std::size_t n_attributes,
                                 std::size_t patterns, double share) {
  const testing::Rows pattern_rows = testing::random_rows(rng, patterns, n_attributes, 0.25);
  std::bernoulli_distribution used(share);
  std::uniform_int_distribution<std::size_t> pick(0, patterns - 1);
  testing::Rows rows(n_objects, std::vector<bool>(n_attributes, false));
  for (auto& row : rows)
    if (used(rng)) row = pattern_rows[pick(rng)];
  return rows;
}

TEST(AgainstReference, FewObjectsSpreadOverManyWords) {
  std::mt19937 rng(13);
  for (int round = 0; round < 8; ++round) {
    const std::size_t objects = round % 2 == 0 ? 2000 : 1500;
    const std::size_t attributes = round % 4 < 2 ? 30 : 66;
    expect_same_as_references(
        testing::context_from_rows(scattered_patterns(rng, objects, attributes, 40, 0.03), attributes),
        "scattered round " + std::to_string(round));
  }
}

struct Shape {
  std::size_t objects;
  std::size_t attributes;
  double density;
};

// Every pairing of the awkward sizes; the density keeps the lattices small
// where both sides are large.
TEST(AgainstReference, WordBoundaryShapes) {
  const std::size_t sizes[] = {0, 1, 2, 5, 63, 64, 65, 127, 128, 129};
  std::mt19937 rng(20260101);
  int contexts = 0;
  for (const std::size_t objects : sizes) {
    for (const std::size_t attributes : sizes) {
      const bool both_large = objects > 5 && attributes > 5;
      for (int round = 0; round < 6; ++round) {
        const double density = both_large ? (round % 2 == 0 ? 0.03 : 0.06) : 0.1 + 0.15 * round;
        const core::Context context =
            testing::context_from_rows(awkward_rows(rng, objects, attributes, density), attributes);
        expect_same_as_references(
            context, std::to_string(objects) + "x" + std::to_string(attributes) + " round " + std::to_string(round));
        ++contexts;
      }
    }
  }
  EXPECT_EQ(contexts, 600);
}

// Many small contexts of every density, where the lattices are rich and the
// inherited failures of the fast kernels do most of the pruning.
TEST(AgainstReference, SmallDenseContexts) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::size_t> size(0, 14);
  std::uniform_real_distribution<double> density(0.0, 1.0);
  for (int round = 0; round < 2500; ++round) {
    const std::size_t objects = size(rng);
    const std::size_t attributes = size(rng);
    const core::Context context =
        testing::context_from_rows(awkward_rows(rng, objects, attributes, density(rng)), attributes);
    expect_same_as_references(context, "round " + std::to_string(round));
  }
}

// Rich lattices over more than one word of attributes and objects.
TEST(AgainstReference, MediumContexts) {
  std::mt19937 rng(11);
  const Shape shapes[] = {{40, 70, 0.2},   {70, 40, 0.25}, {130, 66, 0.08},
                          {66, 130, 0.07}, {30, 20, 0.5},  {1100, 24, 0.03}};
  for (const Shape shape : shapes)
    for (int round = 0; round < 4; ++round)
      expect_same_as_references(
          testing::context_from_rows(awkward_rows(rng, shape.objects, shape.attributes, shape.density),
                                     shape.attributes),
          std::to_string(shape.objects) + "x" + std::to_string(shape.attributes));
}

// Dense rows over enough objects that the stored extents come in both forms:
// packed words for the large ones, lists of 16-bit (up to 65,536 objects) or
// 32-bit objects for the small ones.
TEST(AgainstReference, BothStoredExtentForms) {
  std::mt19937 rng(17);
  const Shape shapes[] = {{449, 12, 0.3}, {640, 10, 0.45}, {65'536, 7, 0.15}, {70'001, 7, 0.15}};
  for (const Shape shape : shapes) {
    const core::Context context = testing::context_from_rows(
        testing::random_rows(rng, shape.objects, shape.attributes, shape.density), shape.attributes);
    const std::string label = std::to_string(shape.objects) + "x" + std::to_string(shape.attributes);
    expect_same_as_references(context, label);
    const core::ConceptList concepts = algorithm_by_name("fcbo")->compute(context).concepts;
    std::size_t listed = 0;
    for (std::size_t i = 0; i < concepts.size(); ++i) listed += concepts.extent(i).is_listed() ? 1 : 0;
    EXPECT_TRUE(listed > 0 && listed < concepts.size()) << label << ": " << listed << " of " << concepts.size();
  }
}

}  // namespace
}  // namespace tessara::engine
