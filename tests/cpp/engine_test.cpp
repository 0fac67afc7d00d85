// The worked examples: exact concept order for every algorithm.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "fca_oracle.hpp"
#include "tessara/engine/catalogue.hpp"

namespace tessara::engine {
namespace {

using Indices = std::vector<std::uint32_t>;
using ExpectedConcept = std::pair<Indices, Indices>;  // extent, intent
using ConceptList = std::vector<ExpectedConcept>;

struct Example {
  std::string label;
  std::uint32_t n_attributes;
  std::vector<Indices> objects;
  ConceptList lectic_order;        // next-closure
  ConceptList close_by_one_order;  // fcbo and in-close-5
};

const Indices kNone{};

std::vector<Example> examples() {
  const ConceptList triangle_lectic{{{0, 1, 2}, {}}, {{1, 2}, {2}}, {{0, 1}, {1}}, {{1}, {1, 2}},
                                    {{0, 2}, {0}},   {{2}, {0, 2}}, {{0}, {0, 1}}, {kNone, {0, 1, 2}}};
  const ConceptList triangle_depth_first{{{0, 1, 2}, {}}, {{0, 2}, {0}}, {{0}, {0, 1}}, {kNone, {0, 1, 2}},
                                         {{2}, {0, 2}},   {{0, 1}, {1}}, {{1}, {1, 2}}, {{1, 2}, {2}}};
  const ConceptList chain{{{0, 1, 2}, {0}}, {{0, 1}, {0, 1}}, {{0}, {0, 1, 2}}};
  return {
      {"no_attributes", 0, {{}, {}}, {{{0, 1}, kNone}}, {{{0, 1}, kNone}}},
      {"no_objects", 2, {}, {{kNone, {0, 1}}}, {{kNone, {0, 1}}}},
      {"nothing_at_all", 0, {}, {{kNone, kNone}}, {{kNone, kNone}}},
      {"two_singletons",
       2,
       {{0}, {1}},
       {{{0, 1}, kNone}, {{1}, {1}}, {{0}, {0}}, {kNone, {0, 1}}},
       {{{0, 1}, kNone}, {{0}, {0}}, {kNone, {0, 1}}, {{1}, {1}}}},
      {"triangle", 3, {{0, 1}, {1, 2}, {0, 2}}, triangle_lectic, triangle_depth_first},
      {"chain", 3, {{0, 1, 2}, {0, 1}, {0}}, chain, chain},
      {"equal_full_rows", 2, {{0, 1}, {0, 1}}, {{{0, 1}, {0, 1}}}, {{{0, 1}, {0, 1}}}},
      {"equal_partial_rows", 3, {{1}, {1}}, {{{0, 1}, {1}}, {kNone, {0, 1, 2}}}, {{{0, 1}, {1}}, {kNone, {0, 1, 2}}}},
      {"word_boundary",
       130,
       {{64, 129}, {0, 64}},
       {{{0, 1}, {64}},
        {{0}, {64, 129}},
        {{1}, {0, 64}},
        {kNone,
         [] {
           Indices all;
           for (std::uint32_t m = 0; m < 130; ++m) all.push_back(m);
           return all;
         }()}},
       {{{0, 1}, {64}},
        {{1}, {0, 64}},
        {kNone,
         [] {
           Indices all;
           for (std::uint32_t m = 0; m < 130; ++m) all.push_back(m);
           return all;
         }()},
        {{0}, {64, 129}}}},
  };
}

ConceptList as_lists(const core::ConceptLattice& lattice) {
  ConceptList out;
  for (const core::ConceptView c : lattice.concepts) out.emplace_back(c.extent.members(), c.intent.members());
  return out;
}

class WorkedExamples : public ::testing::TestWithParam<std::tuple<std::string, Example>> {};

TEST_P(WorkedExamples, ProduceTheExactOrder) {
  const auto& [name, example] = GetParam();
  const core::Context context = testing::context_from_lists(example.n_attributes, example.objects);
  const ConceptAlgorithm* algorithm = algorithm_by_name(name);
  ASSERT_NE(algorithm, nullptr);
  const core::ConceptLattice lattice = algorithm->compute(context);
  EXPECT_FALSE(lattice.cover_cache.has_value());
  EXPECT_EQ(as_lists(lattice), name == "next-closure" ? example.lectic_order : example.close_by_one_order);
  for (const core::ConceptView c : lattice.concepts) {
    EXPECT_EQ(c.extent.capacity(), context.n_objects());
    EXPECT_EQ(c.intent.capacity(), context.n_attributes());
  }
}

INSTANTIATE_TEST_SUITE_P(AllAlgorithms, WorkedExamples,
                         ::testing::Combine(::testing::Values("next-closure", "in-close-5", "fcbo"),
                                            ::testing::ValuesIn(examples())),
                         [](const auto& info) {
                           std::string name = std::get<0>(info.param) + "_" + std::get<1>(info.param).label;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace tessara::engine
