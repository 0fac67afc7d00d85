#include "tessara/core/context.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fault_support.hpp"
#include "fca_oracle.hpp"

namespace tessara::core {

namespace {

using testing::Rows;

// Derivation written from its definition over the boolean rows.
std::vector<std::uint32_t> brute_extent(const Rows& rows, const std::vector<std::uint32_t>& attributes) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t g = 0; g < rows.size(); ++g) {
    bool all = true;
    for (const std::uint32_t m : attributes) all = all && rows[g][m];
    if (all) out.push_back(g);
  }
  return out;
}

std::vector<std::uint32_t> brute_intent(const Rows& rows, std::size_t n_attributes,
                                        const std::vector<std::uint32_t>& objects) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t m = 0; m < n_attributes; ++m) {
    bool all = true;
    for (const std::uint32_t g : objects) all = all && rows[g][m];
    if (all) out.push_back(m);
  }
  return out;
}

struct Shape {
  std::size_t objects;
  std::size_t attributes;
  double density;
};

class DerivationAgainstDefinition : public ::testing::TestWithParam<Shape> {};

TEST_P(DerivationAgainstDefinition, ExtentAndIntentMatchTheDefinitions) {
  const Shape shape = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(shape.objects * 1000 + shape.attributes));
  std::bernoulli_distribution pick(0.3);
  for (int round = 0; round < 25; ++round) {
    const Rows rows = testing::random_rows(rng, shape.objects, shape.attributes, shape.density);
    const Context context = testing::context_from_rows(rows, shape.attributes);
    for (int query = 0; query < 10; ++query) {
      AttributeSet attributes = AttributeSet::empty(shape.attributes);
      for (std::uint32_t m = 0; m < shape.attributes; ++m)
        if (pick(rng)) attributes.insert(m);
      ObjectSet objects = ObjectSet::empty(shape.objects);
      for (std::uint32_t g = 0; g < shape.objects; ++g)
        if (pick(rng)) objects.insert(g);

      const ObjectSet extent = context.extent_of(attributes);
      EXPECT_EQ(extent.capacity(), shape.objects);
      EXPECT_EQ(extent.members(), brute_extent(rows, attributes.members()));
      const AttributeSet intent = context.intent_of(objects);
      EXPECT_EQ(intent.capacity(), shape.attributes);
      EXPECT_EQ(intent.members(), brute_intent(rows, shape.attributes, objects.members()));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, DerivationAgainstDefinition,
                         ::testing::Values(Shape{1, 1, 0.5}, Shape{5, 3, 0.5}, Shape{8, 8, 0.3}, Shape{70, 130, 0.9},
                                           Shape{130, 65, 0.95}, Shape{64, 64, 0.1}, Shape{3, 200, 0.7}));

TEST(Context, StoresNamesExactlyAsGivenInOrder) {
  auto context = Context::create({"a", "a", ""}, {" x ", "x"}, {{true, false}, {false, true}, {false, false}});
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->n_objects(), 3u);
  EXPECT_EQ(context->n_attributes(), 2u);
  EXPECT_EQ(context->objects(), (std::vector<std::string>{"a", "a", ""}));
  EXPECT_EQ(context->object_name(1), "a");
  EXPECT_EQ(context->object_name(2), "");
  EXPECT_EQ(context->attribute_name(0), " x ");
  // The two objects named a are told apart by their index.
  EXPECT_EQ(context->extent_of(testing::set_of<AttributeSet>(2, {0})).members(), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(context->extent_of(testing::set_of<AttributeSet>(2, {1})).members(), (std::vector<std::uint32_t>{1}));
}

struct Refusal {
  std::string label;
  std::vector<std::string> objects;
  std::size_t n_attributes;
  std::vector<IncidenceRow> rows;
  std::string message;
};

class ContextRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(ContextRefusals, NamesTheFirstProblem) {
  const Refusal& refusal = GetParam();
  auto context = Context::create(refusal.objects, std::vector<std::string>(refusal.n_attributes, "m"), refusal.rows);
  ASSERT_FALSE(context.has_value());
  EXPECT_EQ(context.error().message(), refusal.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContextRefusals,
    ::testing::Values(
        Refusal{"short_row", {"g", "h"}, 2, {{true, false}, {true}}, "incidence row 1 has 1 attributes, expected 2"},
        Refusal{"long_row", {"g"}, 2, {{true, false, true}}, "incidence row 0 has 3 attributes, expected 2"},
        Refusal{"first_of_several",
                {"g", "h", "i"},
                2,
                {{true, true}, {}, {true}},
                "incidence row 1 has 0 attributes, expected 2"},
        Refusal{"width_before_count", {"g"}, 1, {{true}, {true, true}}, "incidence row 1 has 2 attributes, expected 1"},
        Refusal{
            "extra_row", {"g", "h"}, 1, {{true}, {false}, {true}}, "incidence has 3 rows, expected 2 (one per object)"},
        Refusal{"missing_row", {"g", "h"}, 1, {{true}}, "incidence has 1 rows, expected 2 (one per object)"},
        Refusal{"row_without_attributes", {"g"}, 0, {{false}}, "incidence row 0 has 1 attributes, expected 0"}),
    [](const auto& info) { return info.param.label; });

TEST(Context, RefusalVariantsCarryTheirNumbers) {
  auto wide = Context::create({"g"}, {"a", "b"}, {{true, false, true}});
  ASSERT_FALSE(wide.has_value());
  const auto* length = std::get_if<RowLength>(&wide.error().variant());
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length->row, 0u);
  EXPECT_EQ(length->found, 3u);
  EXPECT_EQ(length->expected, 2u);

  auto short_of_rows = Context::create({"g", "h", "i"}, {"a"}, {{true}});
  ASSERT_FALSE(short_of_rows.has_value());
  const auto* count = std::get_if<RowCount>(&short_of_rows.error().variant());
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->rows, 1u);
  EXPECT_EQ(count->objects, 3u);
}

TEST(Context, NoAttributes) {
  auto context = Context::create({"g", "h"}, {}, {{}, {}});
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->extent_of(AttributeSet::empty(0)), ObjectSet::full(2));
  EXPECT_EQ(context->intent_of(ObjectSet::full(2)), AttributeSet::empty(0));
  EXPECT_EQ(context->intent_of(ObjectSet::empty(2)).capacity(), 0u);
}

TEST(Context, NoObjects) {
  auto context = Context::create({}, {"a", "b"}, {});
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->intent_of(ObjectSet::empty(0)), AttributeSet::full(2));
  EXPECT_EQ(context->extent_of(AttributeSet::empty(2)), ObjectSet::empty(0));
  EXPECT_EQ(context->extent_of(AttributeSet::full(2)), ObjectSet::empty(0));
}

TEST(Context, IntentStopsEarlyWithoutChangingTheResult) {
  // Objects 0 and 1 share nothing; object 2 would otherwise be read next.
  const Context context = testing::context_from_lists(3, {{0}, {1}, {0, 1, 2}});
  EXPECT_TRUE(context.intent_of(ObjectSet::full(3)).is_empty());
  EXPECT_EQ(context.intent_of(ObjectSet::full(3)).capacity(), 3u);
  EXPECT_EQ(context.intent_of(testing::set_of<ObjectSet>(3, {0, 2})).members(), (std::vector<std::uint32_t>{0}));
}

using tessara::testing::fault_of;

TEST(Context, MismatchedCapacitiesAndIndicesRaiseInternalFaults) {
  const Context context = testing::context_from_lists(2, {{0}, {1}, {}});
  EXPECT_EQ(fault_of([&] { (void)context.extent_of(AttributeSet::empty(3)); }),
            "AttributeSet capacity does not match this context");
  EXPECT_EQ(fault_of([&] { (void)context.intent_of(ObjectSet::empty(2)); }),
            "ObjectSet capacity does not match this context");
  EXPECT_EQ(fault_of([&] { (void)context.object_name(3); }), fault_text::kIndexOutOfRange);
  EXPECT_EQ(fault_of([&] { (void)context.attribute_name(2); }), fault_text::kIndexOutOfRange);
}

}  // namespace
}  // namespace tessara::core
