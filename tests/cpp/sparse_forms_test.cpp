// The sparse storage of contexts: the two incidence forms and the way between
// them, the storage rule, and the FIMI tokeniser that feeds the sparse form.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reference/fimi_reference.hpp"
#include "tessara/core/context.hpp"
#include "tessara/core/incidence_forms.hpp"
#include "tessara/core/sparse_derivation.hpp"
#include "tessara/core/stored_context.hpp"
#include "tessara/formats/fimi.hpp"
#include "tessara/formats/fimi_transactions.hpp"

namespace {

using namespace tessara;

core::Context random_context(std::mt19937_64& rng, std::uint64_t n_objects, std::uint64_t n_attributes,
                             double density) {
  std::bernoulli_distribution cross(density);
  std::vector<core::AttributeSet> rows;
  for (std::uint64_t g = 0; g < n_objects; ++g) {
    core::AttributeSet row = core::AttributeSet::empty(n_attributes);
    // Every fourth row empty, every fifth full, every seventh a copy of the one before.
    for (std::uint64_t m = 0; m < n_attributes; ++m) {
      if (g % 4 != 3 && (g % 5 == 4 || cross(rng))) row.insert(static_cast<std::uint32_t>(m));
    }
    if (g % 7 == 6) row = rows.back();
    rows.push_back(std::move(row));
  }
  auto context = core::Context::from_rows(formats::generated_names('g', n_objects),
                                          formats::generated_names('m', n_attributes), std::move(rows));
  return std::move(*context);
}

class IncidenceForms : public testing::TestWithParam<std::pair<std::uint64_t, std::uint64_t>> {};

TEST_P(IncidenceForms, SparseAndPackedDescribeTheSameCrosses) {
  std::mt19937_64 rng(GetParam().first * 1000 + GetParam().second);
  for (const double density : {0.0, 0.05, 0.5, 1.0}) {
    const core::Context context = random_context(rng, GetParam().first, GetParam().second, density);
    const core::SparseIncidence sparse = core::sparse_incidence_of(context);
    ASSERT_EQ(sparse.n_objects(), context.n_objects());
    ASSERT_EQ(sparse.n_attributes(), context.n_attributes());
    std::uint64_t crosses = 0;
    for (std::uint32_t g = 0; g < context.n_objects(); ++g) {
      EXPECT_EQ(std::vector<std::uint32_t>(sparse.row(g).begin(), sparse.row(g).end()), context.row(g).members());
      crosses += context.row(g).count();
    }
    EXPECT_EQ(sparse.nnz(), crosses);
    for (std::uint32_t m = 0; m < context.n_attributes(); ++m) {
      std::vector<std::uint32_t> column;
      for (std::uint32_t g = 0; g < context.n_objects(); ++g)
        if (context.row(g).contains(m)) column.push_back(g);
      EXPECT_EQ(std::vector<std::uint32_t>(sparse.column(m).begin(), sparse.column(m).end()), column);
    }
    // The derivation operators on the lists agree with those on the packed rows.
    std::uniform_int_distribution<std::uint64_t> pick(0, 3);
    for (int trial = 0; trial < 8; ++trial) {
      std::vector<std::uint32_t> attributes;
      core::AttributeSet wanted = core::AttributeSet::empty(context.n_attributes());
      for (std::uint32_t m = 0; m < context.n_attributes(); ++m) {
        if (pick(rng) == 0 && attributes.size() < 3) {
          attributes.push_back(m);
          wanted.insert(m);
        }
      }
      const core::ObjectSet extent = context.extent_of(wanted);
      EXPECT_EQ(core::sparse_extent(sparse, attributes), extent.members());
      const std::vector<std::uint32_t> objects = extent.members();
      EXPECT_EQ(core::sparse_intent(sparse, objects), context.intent_of(extent).members());
    }
    const auto packed = core::packed_rows_of(sparse);
    ASSERT_TRUE(packed);
    EXPECT_TRUE(std::equal(packed->begin(), packed->end(), context.rows().begin(), context.rows().end()));

    // Both storages answer with the same names, crosses and forms.
    for (const auto& stored :
         {core::StoredContext::from_context(context),
          core::StoredContext::from_sparse(context.objects(), context.attributes(), sparse)}) {
      EXPECT_EQ(stored->objects(), context.objects());
      EXPECT_EQ(stored->attributes(), context.attributes());
      EXPECT_EQ(stored->nnz(), crosses);
      EXPECT_EQ(*stored->sparse(), sparse);
      const auto rows = stored->packed();
      ASSERT_TRUE(rows);
      EXPECT_TRUE(std::equal((**rows)->rows().begin(), (**rows)->rows().end(), context.rows().begin(),
                             context.rows().end()));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, IncidenceForms,
                         testing::Values(std::pair<std::uint64_t, std::uint64_t>{0, 0}, std::pair{0, 5},
                                         std::pair{5, 0}, std::pair{1, 1}, std::pair{9, 63}, std::pair{9, 64},
                                         std::pair{9, 65}, std::pair{64, 127}, std::pair{65, 128},
                                         std::pair{30, 129}));

TEST(StorageRule, SparseOnlyForLargeContextsOfLowDensity) {
  EXPECT_TRUE(core::prefers_sparse(88'162, 16'470, 908'576));        // retail
  EXPECT_TRUE(core::prefers_sparse(100'000, 1'000, 1'010'228));      // T10I4D100K
  EXPECT_FALSE(core::prefers_sparse(8'124, 119, 186'852));           // mushroom: small
  EXPECT_FALSE(core::prefers_sparse(10'000, 127, 10'000 * 127 / 2));  // connect-like: small
  EXPECT_FALSE(core::prefers_sparse(200'000, 128, 200'000 * 20));    // large but dense
  EXPECT_FALSE(core::prefers_sparse(0, 0, 0));
}

TEST(StorageRule, LargeSparseContextIsStoredSparseAndRefusesItsDenseForm) {
  // 300,000 x 60,000 with one cross per object: 2.25 GB of bits.
  const std::uint32_t n_objects = 300'000;
  const std::uint32_t n_attributes = 60'000;
  std::vector<std::uint64_t> offsets(n_objects + 1);
  std::vector<std::uint32_t> items(n_objects);
  for (std::uint32_t g = 0; g < n_objects; ++g) {
    offsets[g + 1] = g + 1;
    items[g] = (g * 7919) % n_attributes;
  }
  auto stored = core::StoredContext::from_sparse(
      formats::generated_names('g', n_objects), formats::generated_names('m', n_attributes),
      core::SparseIncidence::from_rows(n_objects, n_attributes, std::move(offsets), std::move(items)));
  EXPECT_TRUE(stored->is_sparse());
  EXPECT_EQ(stored->nnz(), n_objects);
  const auto packed = stored->packed();
  ASSERT_FALSE(packed);
  EXPECT_EQ(packed.error().message(),
            "the dense form of this context (300000 objects x 60000 attributes) would take 2251200000 bytes (2147 "
            "MiB), more than the limit of 2048 MiB; use the operations that work on sparse contexts, or select "
            "fewer objects or attributes first");
}

// Random FIMI texts mixing the fast path's lines with every kind the Unicode
// path handles: odd white space, plus signs, leading zeros, comments, bad tokens.
std::string random_fimi(std::mt19937_64& rng, bool with_errors) {
  static const std::vector<std::string> separators{" ", "  ", "\t", " \r ", "\xC2\xA0", "\xE2\x80\x83", "\v"};
  static const std::vector<std::string> odd_tokens{"+7", "007", "4294967295", "0"};
  static const std::vector<std::string> bad_tokens{"1a", "-1", "4294967296", "#", "+", "++1", "\xC3\xA9", "1\x01"};
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<std::uint32_t> id(0, 40);
  std::string text;
  const int lines = 1 + percent(rng) % 30;
  for (int line = 0; line < lines; ++line) {
    const int kind = percent(rng);
    if (kind < 8) {
      text += kind < 4 ? "# a comment 1 2" : "  ";
    } else {
      if (percent(rng) < 20) text += separators[percent(rng) % separators.size()];
      const int items = 1 + percent(rng) % 6;
      for (int k = 0; k < items; ++k) {
        if (k > 0) text += separators[percent(rng) < 80 ? 0 : percent(rng) % separators.size()];
        const int pick = percent(rng);
        if (with_errors && pick < 3) {
          text += bad_tokens[percent(rng) % bad_tokens.size()];
        } else if (pick < 10) {
          text += odd_tokens[percent(rng) % odd_tokens.size()];
        } else {
          text += std::to_string(id(rng));
        }
      }
      if (percent(rng) < 10) text += " ";
    }
    text += percent(rng) < 10 ? "\r\n" : "\n";
  }
  if (percent(rng) < 20) text.pop_back();
  return text;
}

TEST(FimiTransactions, MatchThePlainReadingOnRandomTexts) {
  std::mt19937_64 rng(20261209);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = random_fimi(rng, round % 2 == 1);
    const auto expected = reference::read_fimi_plainly(text);
    const auto sparse = formats::read_fimi_transactions(text);
    const auto dense = formats::read_fimi(text);
    if (!expected) {
      ASSERT_FALSE(sparse) << text;
      EXPECT_EQ(sparse.error().display(), expected.error()) << text;
      ASSERT_FALSE(dense) << text;
      EXPECT_EQ(dense.error().display(), expected.error()) << text;
      continue;
    }
    ASSERT_TRUE(sparse) << text << sparse.error().display();
    ASSERT_EQ(sparse->count(), expected->transactions.size()) << text;
    EXPECT_EQ(sparse->width, expected->width) << text;
    for (std::size_t t = 0; t < expected->transactions.size(); ++t) {
      const std::vector<std::uint32_t> got(sparse->items.begin() + static_cast<std::ptrdiff_t>(sparse->offsets[t]),
                                           sparse->items.begin() + static_cast<std::ptrdiff_t>(sparse->offsets[t + 1]));
      EXPECT_EQ(got, std::vector<std::uint32_t>(expected->transactions[t].begin(), expected->transactions[t].end()))
          << text;
    }
    if (expected->width > 64) continue;  // 4294967295 makes the dense read too wide to compare cheaply
    ASSERT_TRUE(dense) << text;
    for (std::size_t t = 0; t < expected->transactions.size(); ++t) {
      EXPECT_EQ(dense->row(t).members(),
                std::vector<std::uint32_t>(expected->transactions[t].begin(), expected->transactions[t].end()));
    }
  }
}

TEST(FimiTransactions, StopWhenAskedAndCheckTheNamesTheyNeed) {
  std::string text;
  for (int line = 0; line < 100'000; ++line) text += "1 2 3\n";
  int asked = 0;
  const auto stopped = formats::read_fimi_transactions(text, [&] { return ++asked < 2; });
  ASSERT_FALSE(stopped);
  EXPECT_EQ(stopped.error().display(), "invalid fimi data: reading was interrupted");
  EXPECT_EQ(asked, 2);

  const auto wide = formats::read_fimi_transactions("1 8388608\n");
  ASSERT_TRUE(wide);
  const auto refused = formats::check_fimi_names(*wide);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->display(),
            "invalid fimi data: largest item id 8388608 needs 8388609 attributes, more than the 8388608 attribute "
            "names this reader generates");
  EXPECT_FALSE(formats::check_fimi_names(*formats::read_fimi_transactions("1 8388607\n")));
}

}  // namespace
