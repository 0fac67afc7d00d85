#include "tessara/formats/text.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace text = tessara::formats::text;

namespace {

std::vector<std::string> lines_of(std::string_view input) {
  std::vector<std::string> lines;
  text::LineReader reader(input);
  while (auto line = reader.next()) lines.emplace_back(*line);
  return lines;
}

struct LineCase {
  std::string input;
  std::vector<std::string> lines;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class LineModel : public testing::TestWithParam<LineCase> {};

TEST_P(LineModel, SplitsAtLineFeeds) { EXPECT_EQ(lines_of(GetParam().input), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Text, LineModel,
    testing::Values(LineCase{"", {}}, LineCase{"\n", {""}}, LineCase{"a", {"a"}}, LineCase{"a\n", {"a"}},
                    LineCase{"a\nb", {"a", "b"}}, LineCase{"a\r\nb\r\n", {"a", "b"}},
                    LineCase{"a\n\n\nb", {"a", "", "", "b"}},
                    // A lone carriage return stays inside the line; only one is dropped before a feed.
                    LineCase{"a\rb\n", {"a\rb"}}, LineCase{"a\r\r\n", {"a\r"}}, LineCase{"a\r", {"a\r"}},
                    LineCase{"\r\n\r\n", {"", ""}}));

TEST(LineModel, CountsLineNumbers) {
  text::LineReader reader("x\n\ny\n");
  reader.next();
  EXPECT_EQ(reader.line_number(), 1u);
  reader.next();
  reader.next();
  EXPECT_EQ(reader.line_number(), 3u);
  EXPECT_FALSE(reader.next().has_value());
}

struct TrimCase {
  std::string input;
  std::string trimmed;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class Trimming : public testing::TestWithParam<TrimCase> {};

TEST_P(Trimming, RemovesWhiteSpaceAtBothEnds) { EXPECT_EQ(text::trim(GetParam().input), GetParam().trimmed); }

INSTANTIATE_TEST_SUITE_P(Text, Trimming,
                         testing::Values(TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{" \t\v\f\r\n x y \t", "x y"},
                                         TrimCase{"\u0085a\u0085", "a"}, TrimCase{"\u00a0a\u00a0", "a"},
                                         TrimCase{"\u3000a\u3000", "a"},
                                         TrimCase{"\u1680\u2000\u200a\u2028\u2029\u202f\u205fa", "a"},
                                         TrimCase{"a\u1680\u2000\u200a\u2028\u2029\u202f\u205f", "a"},
                                         // U+FEFF (byte-order mark) and U+200B are not White_Space.
                                         TrimCase{"\ufeffB", "\ufeffB"}, TrimCase{"\u200bB\u200b", "\u200bB\u200b"},
                                         TrimCase{" \u00e4 ", "\u00e4"}, TrimCase{"\u00a0\u00e4\u00a0", "\u00e4"}));

TEST(Trimming, BlankLines) {
  EXPECT_TRUE(text::is_blank(" \t\u3000"));
  EXPECT_FALSE(text::is_blank(" \ufeff "));
}

TEST(Trimming, TenMegabytesOfBlankLinesIsOnePass) {
  const std::string input(10'000'000, '\n');
  text::LineReader reader(input);
  std::uint64_t blank = 0;
  while (auto line = reader.next()) blank += text::is_blank(*line) ? 1 : 0;
  EXPECT_EQ(blank, 10'000'000u);
  const std::string spaces(10'000'000, ' ');
  EXPECT_EQ(text::trim(spaces), "");
}

struct NumberCase {
  std::string field;
  unsigned bits;
  std::optional<std::uint64_t> value;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.field) << " in " << c.bits << " bits";
}

class UnsignedDecimal : public testing::TestWithParam<NumberCase> {};

TEST_P(UnsignedDecimal, ReadsOrRefuses) {
  EXPECT_EQ(text::parse_unsigned(GetParam().field, GetParam().bits), GetParam().value) << GetParam().field;
}

INSTANTIATE_TEST_SUITE_P(
    Text, UnsignedDecimal,
    testing::Values(NumberCase{"0", 64, 0}, NumberCase{"3", 64, 3}, NumberCase{"+3", 64, 3}, NumberCase{"007", 64, 7},
                    NumberCase{"-3", 64, std::nullopt}, NumberCase{"3.0", 64, std::nullopt},
                    NumberCase{" 3", 64, std::nullopt}, NumberCase{"3 ", 64, std::nullopt},
                    NumberCase{"+", 64, std::nullopt}, NumberCase{"-", 64, std::nullopt},
                    NumberCase{"", 64, std::nullopt}, NumberCase{"++3", 64, std::nullopt},
                    NumberCase{"+-3", 64, std::nullopt}, NumberCase{"3 4", 64, std::nullopt},
                    NumberCase{"\u0663", 64, std::nullopt},  // Arabic-Indic digit three
                    NumberCase{"18446744073709551615", 64, 18446744073709551615ull},
                    NumberCase{"000018446744073709551615", 64, 18446744073709551615ull},
                    NumberCase{"18446744073709551616", 64, std::nullopt},
                    NumberCase{"99999999999999999999", 64, std::nullopt}, NumberCase{"4294967295", 32, 4294967295ull},
                    NumberCase{"4294967296", 32, std::nullopt}, NumberCase{"+4294967295", 32, 4294967295ull}));

struct QuoteCase {
  std::string input;
  std::string quoted;
};

void PrintTo(const QuoteCase& c, std::ostream* os) { *os << testing::PrintToString(c.input); }

class QuotedForm : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuotedForm, EscapesWhatCannotBeSeen) { EXPECT_EQ(text::quoted(GetParam().input), GetParam().quoted); }

INSTANTIATE_TEST_SUITE_P(
    Text, QuotedForm,
    testing::Values(QuoteCase{"", R"("")"}, QuoteCase{"BX", R"("BX")"}, QuoteCase{"it's", R"("it's")"},
                    QuoteCase{"a\"b\\c", R"("a\"b\\c")"}, QuoteCase{"\t\r\n", R"("\t\r\n")"},
                    QuoteCase{std::string("a\0b", 3), R"("a\0b")"}, QuoteCase{"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
                    QuoteCase{"\ufeffB", R"("\u{feff}B")"}, QuoteCase{"a\u00a0b", R"("a\u{a0}b")"},
                    QuoteCase{"e\u0301", R"("e\u{301}")"}, QuoteCase{"\u200c\u200d", R"("\u{200c}\u{200d}")"},
                    QuoteCase{"\u2028\u2029\u3000", R"("\u{2028}\u{2029}\u{3000}")"},
                    QuoteCase{"\u0085", R"("\u{85}")"}, QuoteCase{"\ue000", R"("\u{e000}")"},
                    QuoteCase{"\U0010ffff", R"("\u{10ffff}")"},
                    // Enclosing mark (Me) and a spacing mark that is Grapheme_Extend (Mc, U+0BBE).
                    QuoteCase{"\u20dd\u0bbe", R"("\u{20dd}\u{bbe}")"},
                    // Letters, symbols and emoji (with a skin-tone modifier) stay as they are.
                    QuoteCase{"Gew\u00fcrz \u00c4\u00df\u4e2d", "\"Gew\u00fcrz \u00c4\u00df\u4e2d\""},
                    QuoteCase{"\U0001F44D\U0001F3FD", "\"\U0001F44D\U0001F3FD\""}));

struct Utf8Case {
  std::string bytes;
  bool valid;
  std::string lossy;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << testing::PrintToString(c.bytes); }

class Utf8 : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8, ValidatesAndDecodesLossily) {
  EXPECT_EQ(text::is_valid_utf8(GetParam().bytes), GetParam().valid);
  EXPECT_EQ(text::decode_lossy(GetParam().bytes), GetParam().lossy);
}

const std::string kFffd = "\uFFFD";

INSTANTIATE_TEST_SUITE_P(
    Text, Utf8,
    testing::Values(Utf8Case{"", true, ""}, Utf8Case{"abc", true, "abc"},
                    Utf8Case{"\u00e4\u20ac\U0001F600\U0010FFFF", true, "\u00e4\u20ac\U0001F600\U0010FFFF"},
                    Utf8Case{"\xed\x9f\xbf", true, "\ud7ff"}, Utf8Case{"\xee\x80\x80", true, "\ue000"},
                    // Stray continuation bytes and impossible leads: one replacement each.
                    Utf8Case{"\x80", false, kFffd},
                    Utf8Case{"a\x80\xbf"
                             "b",
                             false, "a" + kFffd + kFffd + "b"},
                    Utf8Case{"\xc0\xaf", false, kFffd + kFffd}, Utf8Case{"\xc1\xbf", false, kFffd + kFffd},
                    Utf8Case{"\xf5\x80\x80\x80", false, kFffd + kFffd + kFffd + kFffd}, Utf8Case{"\xff", false, kFffd},
                    // Overlong three- and four-byte forms, surrogates, beyond U+10FFFF.
                    Utf8Case{"\xe0\x80\xaf", false, kFffd + kFffd + kFffd},
                    Utf8Case{"\xf0\x80\x80\xaf", false, kFffd + kFffd + kFffd + kFffd},
                    Utf8Case{"\xed\xa0\x80", false, kFffd + kFffd + kFffd},
                    Utf8Case{"\xf4\x90\x80\x80", false, kFffd + kFffd + kFffd + kFffd},
                    // A truncated sequence is one replacement for its maximal subpart.
                    Utf8Case{"\xe2\x82", false, kFffd}, Utf8Case{"\xe2\x82z", false, kFffd + "z"},
                    Utf8Case{"\xf0\x9f\x98", false, kFffd},
                    Utf8Case{"\xf0\x9f\x98"
                             "a\xe2",
                             false, kFffd + "a" + kFffd},
                    Utf8Case{"\xc3", false, kFffd}, Utf8Case{"\xe2\x82\xe2\x82\xac", false, kFffd + "\u20ac"},
                    // The WHATWG example: 61 F1 80 80 E1 80 C2 62 80 63 80 BF 64.
                    Utf8Case{"\x61\xf1\x80\x80\xe1\x80\xc2\x62\x80\x63\x80\xbf\x64", false,
                             "a" + kFffd + kFffd + kFffd + "b" + kFffd + "c" + kFffd + kFffd + "d"}));

TEST(Utf8, CountsCodePoints) {
  EXPECT_EQ(text::count_code_points(""), 0u);
  EXPECT_EQ(text::count_code_points("\u00c4.X"), 3u);
  EXPECT_EQ(text::count_code_points("\U0001F600x\u20ac"), 3u);
}

TEST(Utf8, DecodesAndEncodesEveryLength) {
  for (const char32_t cp : {U'\0', U'a', U'\u00e4', U'\u07ff', U'\u0800', U'\uffff', U'\U00010000', U'\U0010ffff'}) {
    std::string encoded;
    text::append_code_point(encoded, cp);
    std::size_t pos = 0;
    EXPECT_EQ(text::decode_at(encoded, pos), cp);
    EXPECT_EQ(pos, encoded.size());
    EXPECT_TRUE(text::is_valid_utf8(encoded));
  }
}

}  // namespace
