#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/engine/canonical_base.hpp"
#include "tessara/engine/proper_premises.hpp"

namespace tessara::engine {
namespace {

using testing::Mask;
using Triple = std::tuple<Mask, Mask, std::uint64_t>;  // premise, conclusion, support

struct Shape {
  std::size_t objects;
  std::size_t attributes;
  double density;
  int rounds;
};

std::string shape_name(const ::testing::TestParamInfo<Shape>& info) {
  return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes) + "_d" +
         std::to_string(static_cast<int>(info.param.density * 100));
}

class CanonicalBaseWithSupport : public ::testing::TestWithParam<Shape> {};

// Pruning the walk by support gives the whole base's frequent part, in its order.
TEST_P(CanonicalBaseWithSupport, EqualsTheWholeBaseFilteredBySupport) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 31 + shape.attributes));
  for (int round = 0; round < shape.rounds; ++round) {
    const auto context = testing::context_from_rows(
        testing::awkward_rows(rng, shape.objects, shape.attributes, shape.density), shape.attributes);
    const auto whole = canonical_base(context);
    for (std::uint64_t threshold = 1; threshold <= shape.objects + 1; ++threshold) {
      std::vector<core::Implication> expected;
      for (const core::Implication& implication : whole)
        if (implication.support >= threshold) expected.push_back(implication);
      const auto found = canonical_base(context, threshold);
      ASSERT_EQ(found.size(), expected.size()) << "round " << round << " threshold " << threshold;
      for (std::size_t k = 0; k < found.size(); ++k) {
        ASSERT_EQ(found[k].premise, expected[k].premise) << k;
        ASSERT_EQ(found[k].conclusion, expected[k].conclusion) << k;
        ASSERT_EQ(found[k].support, expected[k].support) << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CanonicalBaseWithSupport,
                         ::testing::Values(Shape{12, 10, 0.5, 40}, Shape{30, 65, 0.15, 6}, Shape{70, 12, 0.6, 6},
                                           Shape{0, 3, 0.5, 1}),
                         shape_name);

// P• = P'' \ (P ∪ ⋃ (P \ {p})''), written out over every attribute set
// with the context's own derivation operators.
std::vector<Triple> proper_premises_by_definition(const core::Context& context) {
  const std::uint32_t n = static_cast<std::uint32_t>(context.n_attributes());
  const auto set_of = [&](Mask mask) {
    core::AttributeSet set = core::AttributeSet::empty(n);
    for (std::uint32_t m = 0; m < n; ++m)
      if ((mask >> m & 1) != 0) set.insert(m);
    return set;
  };
  const auto closure = [&](Mask mask) { return testing::mask_of(context.intent_of(context.extent_of(set_of(mask)))); };
  std::vector<Mask> premises;
  for (Mask p = 0; p < (Mask{1} << n); ++p) premises.push_back(p);
  std::sort(premises.begin(), premises.end(), testing::lectically_before);
  std::vector<Triple> base;
  for (const Mask p : premises) {
    Mask from_smaller = p;
    for (std::uint32_t m = 0; m < n; ++m)
      if ((p >> m & 1) != 0) from_smaller |= closure(p & ~(Mask{1} << m));
    const Mask bullet = closure(p) & ~from_smaller;
    if (bullet != 0) base.emplace_back(p, bullet, context.extent_of(set_of(p)).count());
  }
  return base;
}

std::vector<Triple> as_triples(const std::vector<DirectImplication>& base) {
  std::vector<Triple> out;
  for (const DirectImplication& implication : base)
    out.emplace_back(testing::mask_of(implication.premise), testing::mask_of(implication.conclusion),
                     implication.support);
  return out;
}

class ProperPremises : public ::testing::TestWithParam<Shape> {};

TEST_P(ProperPremises, EqualTheDefinitionAtEveryThreshold) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 53 + shape.attributes * 7));
  for (int round = 0; round < shape.rounds; ++round) {
    const auto context = testing::context_from_rows(
        testing::awkward_rows(rng, shape.objects, shape.attributes, shape.density), shape.attributes);
    const std::vector<Triple> whole = proper_premises_by_definition(context);
    for (std::uint64_t threshold = 0; threshold <= shape.objects + 1; ++threshold) {
      std::vector<Triple> expected;
      std::copy_if(whole.begin(), whole.end(), std::back_inserter(expected),
                   [&](const Triple& implication) { return std::get<2>(implication) >= threshold; });
      ASSERT_EQ(as_triples(proper_premise_base(context, threshold)), expected)
          << "round " << round << " threshold " << threshold;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ProperPremises,
                         ::testing::Values(Shape{12, 10, 0.5, 60}, Shape{12, 10, 0.2, 30}, Shape{12, 10, 0.8, 30},
                                           Shape{130, 8, 0.7, 10}, Shape{1, 6, 0.5, 5}, Shape{5, 1, 0.5, 5},
                                           Shape{0, 4, 0.5, 1},
                                           Shape{4, 0, 0.5, 1}),
                         shape_name);

// Spread over 130 attributes, the rest held by every object: the same base
// renamed, with the added attributes implied by the empty premise. Puts the
// attributes on both sides of word boundaries.
TEST(ProperPremises, KeepTheirShapeAcrossWordBoundaries) {
  constexpr std::uint32_t kWide = 130;
  const std::vector<std::uint32_t> place{0, 63, 64, 65, 127, 128, 1, 100};
  using Words = std::vector<std::uint64_t>;
  using Row = std::tuple<Words, Words, std::uint64_t>;
  const auto rows_of = [](const std::vector<DirectImplication>& base, auto&& widen) {
    std::vector<Row> out;
    for (const DirectImplication& implication : base) {
      const core::AttributeSet premise = widen(implication.premise);
      const core::AttributeSet conclusion = widen(implication.conclusion);
      out.emplace_back(Words(premise.words().begin(), premise.words().end()),
                       Words(conclusion.words().begin(), conclusion.words().end()), implication.support);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto same = [](const core::AttributeSet& set) { return set; };
  std::mt19937 rng(2026);
  for (int round = 0; round < 30; ++round) {
    const auto narrow_rows = testing::awkward_rows(rng, 10, place.size(), 0.5);
    testing::Rows wide_rows(narrow_rows.size(), std::vector<bool>(kWide, true));
    for (std::size_t g = 0; g < narrow_rows.size(); ++g)
      for (std::size_t k = 0; k < place.size(); ++k) wide_rows[g][place[k]] = narrow_rows[g][k];
    auto narrow = proper_premise_base(testing::context_from_rows(narrow_rows, place.size()));
    if (narrow.empty() || !narrow.front().premise.is_empty())
      narrow.insert(narrow.begin(), DirectImplication{core::AttributeSet::empty(place.size()),
                                                      core::AttributeSet::empty(place.size()), narrow_rows.size()});
    const auto widen = [&](const core::AttributeSet& set) {
      // The padding attributes join the empty premise's conclusion.
      const bool padded = &set == &narrow.front().conclusion;
      core::AttributeSet out = padded ? core::AttributeSet::full(kWide) : core::AttributeSet::empty(kWide);
      if (padded)
        for (const std::uint32_t m : place) out.mutable_words()[m / 64] &= ~(std::uint64_t{1} << (m % 64));
      set.for_each_member([&](std::uint32_t k) { out.insert(place[k]); });
      return out;
    };
    ASSERT_EQ(rows_of(proper_premise_base(testing::context_from_rows(wide_rows, kWide)), same),
              rows_of(narrow, widen))
        << "round " << round;
  }
}

}  // namespace
}  // namespace tessara::engine
