#include "tessara/formats/fimi.hpp"

#include <gtest/gtest.h>

#include <string>

#include "reader_support.hpp"

namespace {

using tessara::formats::read_fimi;
using tessara::test_support::error_of;
using tessara::test_support::Table;
using tessara::test_support::table_of;

struct FimiCase {
  std::string label;
  std::string input;
  Table expected;
};

class FimiReads : public testing::TestWithParam<FimiCase> {};

TEST_P(FimiReads, YieldsTheTable) {
  const auto result = read_fimi(GetParam().input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), GetParam().expected);
}

const Table kTwoTransactions{{"g0", "g1"}, {"m0", "m1", "m2", "m3"}, {".X.X", "X..X"}};

INSTANTIATE_TEST_SUITE_P(
    Fimi, FimiReads,
    testing::Values(FimiCase{"blank_and_comment_lines_take_no_index", "1 3\n\n# comment\n0 3 3\n", kTwoTransactions},
                    FimiCase{"tabs_and_runs_of_spaces", "1\t3\n  0   3\t 3  \n", kTwoTransactions},
                    FimiCase{"crlf_and_no_final_feed", "1 3\r\n0 3", kTwoTransactions},
                    FimiCase{"unicode_white_space_separates",
                             "1\xC2\xA0"
                             "3\n0\xE2\x80\x83"
                             "3\n",
                             kTwoTransactions},
                    FimiCase{"plus_sign_and_leading_zeros", "+1 003\n0 +3\n", kTwoTransactions},
                    FimiCase{
                        "largest_id_decides_width", "5\n", {{"g0"}, {"m0", "m1", "m2", "m3", "m4", "m5"}, {".....X"}}},
                    FimiCase{"single_ids", "0\n0\n", {{"g0", "g1"}, {"m0"}, {"X", "X"}}}),
    [](const testing::TestParamInfo<FimiCase>& info) { return info.param.label; });

struct FimiFailure {
  std::string label;
  std::string input;
  std::string message;
};

class FimiRefuses : public testing::TestWithParam<FimiFailure> {};

TEST_P(FimiRefuses, WithOneClearError) { EXPECT_EQ(error_of(read_fimi(GetParam().input)), GetParam().message); }

const std::string kBadToken = "parse error in fimi: line ";

INSTANTIATE_TEST_SUITE_P(
    Fimi, FimiRefuses,
    testing::Values(
        FimiFailure{"letter_in_token", "1 2\n\n# c\n1a\n", kBadToken + "4: expected non-negative integer, got \"1a\""},
        FimiFailure{"negative", "-1\n", kBadToken + "1: expected non-negative integer, got \"-1\""},
        FimiFailure{"beyond_32_bits", "1\n4294967296\n",
                    kBadToken + "2: expected non-negative integer, got \"4294967296\""},
        FimiFailure{"trailing_comment", "1 2 # three\n", kBadToken + "1: expected non-negative integer, got \"#\""},
        FimiFailure{"lone_plus", "+\n", kBadToken + "1: expected non-negative integer, got \"+\""},
        FimiFailure{"empty", "", "invalid fimi data: input contains no transactions"},
        FimiFailure{"comments_and_blank_lines", "# a\n\n   \n#b\n",
                    "invalid fimi data: input contains no transactions"},
        // One huge id declares a dense matrix far larger than the input; it is
        // refused before any row is built.
        FimiFailure{"largest_possible_id", "4294967295\n",
                    "invalid fimi data: context of 1 objects and 4294967296 attributes is too large (the limit is "
                    "17179869184 incidence cells and 4294967295 objects or attributes)"},
        FimiFailure{"too_many_cells", "0\n0\n0\n0\n0\n4000000000\n",
                    "invalid fimi data: context of 6 objects and 4000000001 attributes is too large (the limit is "
                    "17179869184 incidence cells and 4294967295 objects or attributes)"},
        FimiFailure{"too_many_generated_names", "4294967294\n",
                    "invalid fimi data: largest item id 4294967294 needs 4294967295 attributes, more than the "
                    "8388608 attribute names this reader generates"},
        // Ten bytes once asked for 67 million names: 2 GiB and seconds of work.
        FimiFailure{"ten_bytes_asking_for_millions_of_names", "0 67108863\n",
                    "invalid fimi data: largest item id 67108863 needs 67108864 attributes, more than the "
                    "8388608 attribute names this reader generates"},
        FimiFailure{"one_past_the_generated_names", "8388608\n",
                    "invalid fimi data: largest item id 8388608 needs 8388609 attributes, more than the "
                    "8388608 attribute names this reader generates"}),
    [](const testing::TestParamInfo<FimiFailure>& info) { return info.param.label; });

TEST(Fimi, ReadsTheMushroomSizedFileShape) {
  // 8124 transactions of 23 items over ids up to 119, as in the classic data set.
  std::string input;
  for (int t = 0; t < 8124; ++t) {
    for (int k = 0; k < 23; ++k) input += std::to_string((t * 7 + k * 5) % 120) + (k == 22 ? "\n" : " ");
  }
  const auto result = read_fimi(input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(result->n_objects(), 8124u);
  EXPECT_EQ(result->n_attributes(), 120u);
  EXPECT_EQ(result->row(0).count(), 23u);
}

}  // namespace
