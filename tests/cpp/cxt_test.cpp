#include "tessara/formats/cxt.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace formats = tessara::formats;
namespace core = tessara::core;

namespace {

using Rows = std::vector<std::vector<bool>>;

Rows rows_of(const core::Context& context) {
  Rows rows;
  for (const auto& row : context.rows()) {
    std::vector<bool> cells;
    for (std::uint64_t j = 0; j < context.n_attributes(); ++j)
      cells.push_back(row.contains(static_cast<std::uint32_t>(j)));
    rows.push_back(cells);
  }
  return rows;
}

std::string error_of(std::string_view input) {
  const auto result = formats::read_cxt(input);
  return result ? std::string("(no error)") : result.error().display();
}

std::string data_file(const std::string& name) {
  const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / name;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The worked example: two objects, three attributes.
class WorkedExample : public testing::TestWithParam<std::string> {};

TEST_P(WorkedExample, YieldsTheSameContext) {
  const auto context = formats::read_cxt(GetParam());
  ASSERT_TRUE(context.has_value()) << context.error().display();
  EXPECT_EQ(context->objects(), (std::vector<std::string>{"g1", "g2"}));
  EXPECT_EQ(context->attributes(), (std::vector<std::string>{"m1", "m2", "m3"}));
  EXPECT_EQ(rows_of(*context), (Rows{{true, false, true}, {false, true, true}}));
}

INSTANTIATE_TEST_SUITE_P(Cxt, WorkedExample,
                         testing::Values("B\n\n2\n3\n\ng1\ng2\n\nm1\nm2\nm3\n\nX.X\n.XX\n",
                                         "B\r\n\r\n2\r\n3\r\n\r\ng1\r\ng2\r\n\r\nm1\r\nm2\r\nm3\r\n\r\nX.X\r\n.XX\r\n",
                                         "\n\n B \n\n\t2\n\n3  \n\n\n g1\ng2 \n\n\nm1\n\nm2\nm3\n\nX.X\n\n.XX\n\n\n",
                                         "b\n2\n3\ng1\ng2\nm1\nm2\nm3\nX.X\n.XX",
                                         // A lone carriage return is white space at the line ends.
                                         "B\r\n2\n3\ng1\r\ng2\nm1\nm2\nm3\nX.X\n.XX\r",
                                         // Every other character is false; x counts like X; longer rows are accepted.
                                         "B\n2\n3\ng1\ng2\nm1\nm2\nm3\nXax\n.xX..X\n",
                                         "B\n+2\n003\ng1\ng2\nm1\nm2\nm3\nX.X\n\u00c4XX\n",
                                         // A name line between header and counts.
                                         "B\nexample context\n2\n3\ng1\ng2\nm1\nm2\nm3\nX.X\n.XX\n"));

struct ErrorCase {
  std::string input;
  std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class CxtErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(CxtErrors, ReportTheFirstFailure) { EXPECT_EQ(error_of(GetParam().input), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Cxt, CxtErrors,
    testing::Values(
        ErrorCase{"", "parse error in cxt: input is empty"},
        ErrorCase{"\n \n\t\r\n", "parse error in cxt: input is empty"},
        ErrorCase{"BX\n0\n0\n", R"(parse error in cxt: expected format header "B", got "BX")"},
        ErrorCase{"B 1\n0\n0\n", R"(parse error in cxt: expected format header "B", got "B 1")"},
        ErrorCase{"\ufeffB\n0\n0\n", R"(parse error in cxt: expected format header "B", got "\u{feff}B")"},
        ErrorCase{"\"B\\\n", R"(parse error in cxt: expected format header "B", got "\"B\\")"},
        ErrorCase{"B\n", "parse error in cxt: expected object count, reached end of input"},
        ErrorCase{"B\n2\n\n", "parse error in cxt: expected attribute count, reached end of input"},
        ErrorCase{"B\n-3\n1\n", R"(parse error in cxt: expected object count as a non-negative integer, got "-3")"},
        ErrorCase{"B\n3.0\n1\n", R"(parse error in cxt: expected object count as a non-negative integer, got "3.0")"},
        ErrorCase{"B\n2 3\n", R"(parse error in cxt: expected object count as a non-negative integer, got "2 3")"},
        ErrorCase{"B\n18446744073709551616\n1\n",
                  R"(parse error in cxt: expected object count as a non-negative integer, got "18446744073709551616")"},
        ErrorCase{"B\n2\nthree\n",
                  R"(parse error in cxt: expected attribute count as a non-negative integer, got "three")"},
        ErrorCase{"B\n18446744073709551615\n0\n",
                  "invalid cxt data: expected 18446744073709551615 object names, got 0"},
        ErrorCase{"B\n3\n1\ng1\ng2\n", "invalid cxt data: expected 3 object names, got 2"},
        ErrorCase{"B\n1\n2\ng1\nm1\n", "invalid cxt data: expected 2 attribute names, got 1"},
        ErrorCase{"B\n2\n1\ng1\ng2\nm1\nX\n", "invalid cxt data: expected 2 incidence rows, got 1"},
        ErrorCase{"B\n1\n3\ng1\nm1\nm2\nm3\nX\n", "invalid cxt data: row 0 has length 1, expected 3"},
        ErrorCase{"B\n2\n3\ng1\ng2\nm1\nm2\nm3\nX.X\n\u00c4X\n", "invalid cxt data: row 1 has length 2, expected 3"},
        ErrorCase{"B\n1\n1\ng1\nm1\nX\n.\n",
                  R"(invalid cxt data: unexpected content after the last incidence row: ".")"},
        ErrorCase{"B\n0\n0\n \tmore\u00a0text \n",
                  R"(invalid cxt data: unexpected content after the last incidence row: "more\u{a0}text")"},
        ErrorCase{"B\n0\n1\nm1\nextra\n",
                  R"(invalid cxt data: unexpected content after the last incidence row: "extra")"},
        // The name line is skipped only when two counts follow it.
        ErrorCase{"B\nname\n2\n", R"(parse error in cxt: expected object count as a non-negative integer, got "name")"},
        ErrorCase{"B\nname\n2\nthree\n0\n",
                  R"(parse error in cxt: expected object count as a non-negative integer, got "name")"},
        // A line that starts like a number is never taken for a name.
        ErrorCase{"B\n-3\n2\n3\n", R"(parse error in cxt: expected object count as a non-negative integer, got "-3")"},
        ErrorCase{"B\n3.0\n2\n3\n",
                  R"(parse error in cxt: expected object count as a non-negative integer, got "3.0")"},
        ErrorCase{"B\n2 3\n2\n3\n",
                  R"(parse error in cxt: expected object count as a non-negative integer, got "2 3")"},
        ErrorCase{"B\n+\n0\n0\n", R"(parse error in cxt: expected object count as a non-negative integer, got "+")"},
        ErrorCase{"B\nname\nother\n2\n3\n",
                  R"(parse error in cxt: expected object count as a non-negative integer, got "name")"}));

TEST(Cxt, ZeroObjectsAndAttributes) {
  const auto context = formats::read_cxt("B\n0\n0\n");
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->n_objects(), 0u);
  EXPECT_EQ(context->n_attributes(), 0u);
}

TEST(Cxt, ObjectsWithoutAttributesStillNeedRowLines) {
  EXPECT_EQ(error_of("B\n2\n0\ng1\ng2\n-\n"), "invalid cxt data: expected 2 incidence rows, got 1");
  const auto context = formats::read_cxt("B\n2\n0\ng1\ng2\n-\nanything\n");
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->n_objects(), 2u);
  EXPECT_EQ(context->n_attributes(), 0u);
}

TEST(Cxt, NamesAreTrimmedAndMayRepeat) {
  const auto context = formats::read_cxt("B\n2\n1\n  a b\u3000\na\n\u00a0x\u00a0\nX\n.\n");
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->objects(), (std::vector<std::string>{"a b", "a"}));
  EXPECT_EQ(context->attributes(), (std::vector<std::string>{"x"}));
}

TEST(Cxt, NameLineOnlyAfterTheHeader) {
  const auto context = formats::read_cxt("B\nname\n0\n0\n");
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->n_objects(), 0u);
}

TEST(Cxt, HugeDeclaredCountFailsWithoutReserving) {
  const std::string input = "B\n1000000000000000000\n5\n";
  EXPECT_EQ(error_of(input), "invalid cxt data: expected 1000000000000000000 object names, got 0");
  EXPECT_EQ(error_of("B\n0\n1000000000000000000\n"),
            "invalid cxt data: expected 1000000000000000000 attribute names, got 0");
}

TEST(Cxt, TenMegabytesOfBlankLines) {
  std::string input = "B\n";
  input.append(10'000'000, '\n');
  EXPECT_EQ(error_of(input), "parse error in cxt: expected object count, reached end of input");
  input += "0\n0\n";
  input.append(10'000'000, '\n');
  EXPECT_TRUE(formats::read_cxt(input).has_value());
}

struct RealFile {
  std::string name;
  std::uint64_t objects;
  std::uint64_t attributes;
  std::string first_object;
  std::string last_attribute;
  std::vector<std::uint32_t> first_row;
};

void PrintTo(const RealFile& c, std::ostream* os) { *os << c.name; }

class RealFiles : public testing::TestWithParam<RealFile> {};

TEST_P(RealFiles, Load) {
  const RealFile& file = GetParam();
  const std::string input = data_file(file.name);
  ASSERT_FALSE(input.empty()) << file.name;
  const auto context = formats::read_cxt(input);
  ASSERT_TRUE(context.has_value()) << context.error().display();
  EXPECT_EQ(context->n_objects(), file.objects);
  EXPECT_EQ(context->n_attributes(), file.attributes);
  EXPECT_EQ(context->objects().front(), file.first_object);
  EXPECT_EQ(context->attributes().back(), file.last_attribute);
  std::vector<std::uint32_t> first_row;
  for (const auto m : context->row(0).members()) first_row.push_back(m);
  EXPECT_EQ(first_row, file.first_row);
}

INSTANTIATE_TEST_SUITE_P(
    Cxt, RealFiles,
    testing::Values(
        RealFile{"seasoningplanner_de.cxt", 56, 37, "Blattsalat", "Verschiedenes(Gruppierung)", {1, 19, 28}},
        RealFile{"animals_en.cxt", 35, 11, "alligator", "scales", {0, 2, 5, 6, 8, 10}},
        RealFile{"tealady.cxt", 18, 14, "Evelyn", "14", {0, 1, 2, 3, 4, 5, 7, 8}}));

TEST(RealFiles, SeasoningPlannerKeepsUtf8Names) {
  const auto context = formats::read_cxt(data_file("seasoningplanner_de.cxt"));
  ASSERT_TRUE(context.has_value());
  const auto& objects = context->objects();
  EXPECT_NE(std::find(objects.begin(), objects.end(), "M\u00f6hren"), objects.end());
  EXPECT_EQ(std::find(objects.begin(), objects.end(), "Gewuerzplaner"), objects.end());
}

}  // namespace
