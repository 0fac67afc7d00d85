#include "tessara/formats/csv.hpp"

#include <gtest/gtest.h>

#include <string>

#include "reader_support.hpp"

namespace {

using tessara::formats::read_csv;
using tessara::test_support::error_of;
using tessara::test_support::Table;
using tessara::test_support::table_of;

struct CsvCase {
  std::string label;
  std::string input;
  Table expected;
};

class CsvReads : public testing::TestWithParam<CsvCase> {};

TEST_P(CsvReads, YieldsTheTable) {
  const auto result = read_csv(GetParam().input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), GetParam().expected);
}

const Table kSmall{{"o1", "o2"}, {"a", "b"}, {"X.", "XX"}};

INSTANTIATE_TEST_SUITE_P(
    Csv, CsvReads,
    testing::Values(CsvCase{"commas", "name,a,b\no1,1,0\no2,x,yes\n", kSmall},
                    CsvCase{"tabs", "name\ta\tb\no1\t1\t0\no2\tx\tyes\n", kSmall},
                    CsvCase{"no_final_line_feed", "name,a,b\no1,1,0\no2,x,yes", kSmall},
                    CsvCase{"crlf", "name,a,b\r\no1,1,0\r\no2,x,yes\r\n", kSmall},
                    CsvCase{"lone_cr", "name,a,b\ro1,1,0\ro2,x,yes\r", kSmall},
                    CsvCase{"empty_lines_skipped", "\n\nname,a,b\n\no1,1,0\r\n\r\no2,x,yes\n\n", kSmall},
                    CsvCase{"byte_order_mark", "\xEF\xBB\xBF\"name\",a,b\no1,1,0\no2,x,yes\n", kSmall},
                    // Ties between tabs and commas go to the comma.
                    CsvCase{"tie_goes_to_comma", "n\tx\ty,a,b\no1,1,0\n", {{"o1"}, {"a", "b"}, {"X."}}},
                    CsvCase{"tabs_win", "n\ta,b\tc\no1\t1\t1\n", {{"o1"}, {"a,b", "c"}, {"XX"}}},
                    CsvCase{"true_texts",
                            "n,a,b,c,d,e,f,g,h,i,j,k\no,1,x,X,y,Y,true,True,TRUE,yes,Yes,YES\n",
                            {{"o"}, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}, {"XXXXXXXXXXX"}}},
                    CsvCase{"false_texts",
                            "n,a,b,c,d,e,f,g\no,0,n,false,,tRue,-,2\n",
                            {{"o"}, {"a", "b", "c", "d", "e", "f", "g"}, {"......."}}},
                    CsvCase{"cells_trimmed",
                            "n,a,b,c,d\no, X ,Yes,\"TRUE\t\",\xC2\xA0y\xE2\x80\x83\n",
                            {{"o"}, {"a", "b", "c", "d"}, {"XXXX"}}},
                    CsvCase{"names_not_trimmed", "name, a ,b\no1 ,1,1\n", {{"o1 "}, {" a ", "b"}, {"XX"}}},
                    CsvCase{"quoted_delimiter", "name,\"a,b\"\no1,1\n", {{"o1"}, {"a,b"}, {"X"}}},
                    CsvCase{"quoted_line_break_and_doubled_quote",
                            "name,\"say \"\"hi\"\"\"\n\"o\r\n1\",1\n",
                            {{"o\r\n1"}, {"say \"hi\""}, {"X"}}},
                    CsvCase{"pandas_to_csv", ",a,b\n0,1,0\n1,True,False\n", {{"0", "1"}, {"a", "b"}, {"X.", "X."}}},
                    CsvCase{"empty_corner_and_names", ",a\n,1\n", {{""}, {"a"}, {"X"}}}),
    [](const testing::TestParamInfo<CsvCase>& info) { return info.param.label; });

struct CsvFailure {
  std::string label;
  std::string input;
  std::string message;
};

class CsvRefuses : public testing::TestWithParam<CsvFailure> {};

TEST_P(CsvRefuses, WithOneClearError) { EXPECT_EQ(error_of(read_csv(GetParam().input)), GetParam().message); }

const std::string kStrict = "error parsing data while strict checking enabled";

INSTANTIATE_TEST_SUITE_P(
    Csv, CsvRefuses,
    testing::Values(CsvFailure{"empty", "", "invalid csv data: empty header row"},
                    CsvFailure{"empty_lines", "\n\r\n\n", "invalid csv data: empty header row"},
                    CsvFailure{"blank_lines", "  \n\t\n", "invalid csv data: empty header row"},
                    CsvFailure{"header_only", "name,a,b\n", "invalid csv data: CSV has a header but no body rows"},
                    CsvFailure{"single_column", "name\no1\n", "invalid csv data: header row has no attribute columns"},
                    CsvFailure{"too_few_fields", "name,a,b\no1,1\n",
                               "CSV error: record on line 2 has 2 fields, but the header has 3"},
                    CsvFailure{"too_many_fields", "name,a,b\no1,1,0\no2,1,0,1\n",
                               "CSV error: record on line 3 has 4 fields, but the header has 3"},
                    CsvFailure{"line_counts_blank_and_quoted_lines", "name,a\n\n\"o\n1\",1\no2,1,1\n",
                               "CSV error: record on line 5 has 3 fields, but the header has 2"},
                    CsvFailure{"record_starting_with_a_multiline_field", "name,a\n\n\"o\n\n1\",1,1\n",
                               "CSV error: record on line 3 has 3 fields, but the header has 2"},
                    CsvFailure{"quote_inside_unquoted_field", "name,a\no\"1,1\n",
                               "CSV error: line 2: misplaced double quote (" + kStrict + ")"},
                    CsvFailure{"text_after_closing_quote", "name,a\n\"o1\"x,1\n",
                               "CSV error: line 2: misplaced double quote (" + kStrict + ")"},
                    CsvFailure{"unclosed_quote", "name,a\n\"o1,1\n\n",
                               "CSV error: line 3: quoted field not closed at end of input (" + kStrict + ")"},
                    // A recognised extension is final: CXT text goes to this reader and fails here.
                    CsvFailure{"cxt_text", "B\n\n1\n1\n\ng\nm\nX\n",
                               "invalid csv data: header row has no attribute columns"}),
    [](const testing::TestParamInfo<CsvFailure>& info) { return info.param.label; });

std::string object_name(std::uint64_t g) {
  std::string name = "o";
  name += std::to_string(g);
  return name;
}

TEST(Csv, ReadsManyRecordsInOrder) {
  std::string input = "name,a,b,c\n";
  for (std::uint64_t g = 0; g < 5000; ++g)
    input += object_name(g) + "," + (g % 2 ? "1" : "0") + "," + (g % 3 ? "x" : "") + ",no\n";
  const auto result = read_csv(input);
  ASSERT_TRUE(result) << error_of(result);
  ASSERT_EQ(result->n_objects(), 5000u);
  for (std::uint64_t g = 0; g < 5000; ++g) {
    EXPECT_EQ(result->object_name(g), object_name(g));
    EXPECT_EQ(result->row(g).contains(0), g % 2 == 1);
    EXPECT_EQ(result->row(g).contains(1), g % 3 != 0);
    EXPECT_FALSE(result->row(g).contains(2));
  }
}

}  // namespace
