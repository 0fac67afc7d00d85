#include "tessara/formats/json.hpp"

#include <gtest/gtest.h>

#include <string>

#include "reader_support.hpp"
#include "tessara/formats/text.hpp"

namespace {

using tessara::formats::read_json;
using tessara::test_support::error_of;
using tessara::test_support::Table;
using tessara::test_support::table_of;

struct JsonCase {
  std::string label;
  std::string input;
  Table expected;
};

class JsonReads : public testing::TestWithParam<JsonCase> {};

TEST_P(JsonReads, YieldsTheTable) {
  const auto result = read_json(GetParam().input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), GetParam().expected);
}

const Table kSmall{{"o1", "o2"}, {"a", "b"}, {"X.", "XX"}};
const std::string kPayload =
    R"({"objects": ["o1", "o2"], "attributes": ["a", "b"], "incidence": [[true, false], [true, true]]})";

// The rest of an object-form document with an empty context, after its opening brace.
const std::string kEmptyDocumentRest =
    R"("tessara_version": "1", "context": {"objects": [], "attributes": [], "incidence": []}})";

INSTANTIATE_TEST_SUITE_P(
    Json, JsonReads,
    testing::Values(
        JsonCase{"object_form", R"({"tessara_version": "0.2.0", "context": )" + kPayload + "}", kSmall},
        JsonCase{"array_form", R"(["0.2.0", [["o1", "o2"], ["a", "b"], [[true, false], [true, true]]]])", kSmall},
        JsonCase{"keys_in_any_order_with_extra_keys",
                 R"({"name": {"x": [1, null]}, "context": {"incidence": [[true, false], [true, true]],)"
                 R"( "attributes": ["a", "b"], "name": "n", "objects": ["o1", "o2"]}, "tessara_version": "9"})",
                 kSmall},
        JsonCase{"repeated_unknown_keys", R"({"x": 1, "x": 2, "tessara_version": "", "context": )" + kPayload + "}",
                 kSmall},
        JsonCase{"white_space_around",
                 " \r\n\t"
                 R"(["v", )" +
                     kPayload + "]\n\n ",
                 kSmall},
        JsonCase{"escapes_decoded",
                 R"(["v", {"objects": ["\u00e9\n\"q\""], "attributes": ["\ud83d\ude00"], "incidence": [[true]]}])",
                 {{"\xC3\xA9\n\"q\""}, {"\xF0\x9F\x98\x80"}, {"X"}}},
        JsonCase{"empty_context", R"({"tessara_version": "0.2.0", "context": [[], [], []]})", {{}, {}, {}}},
        // Skipped values are checked for syntax only: any exponent is well formed.
        JsonCase{"huge_exponent_skipped", R"({"x": 1e999, )" + kEmptyDocumentRest, {{}, {}, {}}},
        JsonCase{"negative_huge_exponent_skipped", R"({"x": -1e999, )" + kEmptyDocumentRest, {{}, {}, {}}},
        JsonCase{"every_kind_of_value_skipped",
                 R"({"x": [1E+400, 2.5e-999, -0, 123456789012345678901234567890, {"": null}, "\/\b\f\ud83d\ude00"],)"
                 R"( "tessara_version": "1", "context": [[], [], []]})",
                 {{}, {}, {}}}),
    [](const testing::TestParamInfo<JsonCase>& info) { return info.param.label; });

struct JsonFailure {
  std::string label;
  std::string input;
  std::string message;
};

class JsonRefuses : public testing::TestWithParam<JsonFailure> {};

TEST_P(JsonRefuses, WithOneClearError) { EXPECT_EQ(error_of(read_json(GetParam().input)), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Json, JsonRefuses,
    testing::Values(
        JsonFailure{"missing_version", R"({"context": )" + kPayload + "}",
                    "JSON error: missing field `tessara_version` at line 1 column 108"},
        JsonFailure{"missing_incidence", R"(["v", {"objects": [], "attributes": []}])",
                    "JSON error: missing field `incidence` at line 1 column 39"},
        JsonFailure{"number_cell", R"({"tessara_version": "0.2.0", "context": [["o"], ["a", "b"], [[true, 1]]]})",
                    "JSON error: invalid type: integer `1`, expected a boolean at line 1 column 69"},
        JsonFailure{"number_cell_at_line_end", "[\"v\", [[\"o\"], [\"a\"], [[\n10\n]]]]",
                    "JSON error: invalid type: integer `10`, expected a boolean at line 2 column 2"},
        JsonFailure{"version_not_a_string", R"({"tessara_version": 2, "context": null})",
                    "JSON error: invalid type: integer `2`, expected a string at line 1 column 21"},
        JsonFailure{"payload_null", R"({"tessara_version": "2", "context": null})",
                    "JSON error: invalid type: null, expected struct ContextPayload at line 1 column 40"},
        JsonFailure{"document_string", R"("doc")",
                    "JSON error: invalid type: string \"doc\", expected struct Document at line 1 column 5"},
        JsonFailure{"names_not_a_list", R"(["v", {"objects": {"a": 1}}])",
                    "JSON error: invalid type: map, expected a sequence at line 1 column 19"},
        JsonFailure{"name_not_a_string", R"(["v", [[1.5]]])",
                    "JSON error: invalid type: floating point `1.5`, expected a string at line 1 column 11"},
        JsonFailure{"row_of_strings", R"(["v", [[], ["a"], [["true"]]]])",
                    "JSON error: invalid type: string \"true\", expected a boolean at line 1 column 26"},
        JsonFailure{"duplicate_context", R"({"tessara_version": "v", "context": [[], [], []], "context": 1})",
                    "JSON error: duplicate field `context` at line 1 column 59"},
        JsonFailure{"short_document_array", R"([{"objects": [], "attributes": [], "incidence": []}])",
                    "JSON error: invalid type: map, expected a string at line 1 column 2"},
        JsonFailure{"one_element_document", R"(["v"])",
                    "JSON error: invalid length 1, expected struct Document with 2 elements at line 1 column 5"},
        JsonFailure{"long_payload_array", R"(["v", [[], [], [], {"extra": [1]}]])",
                    "JSON error: invalid length 4, expected struct ContextPayload with 3 elements at line 1 column 34"},
        JsonFailure{"trailing_text", R"(["v", [[], [], []]] x)", "JSON error: trailing characters at line 1 column 21"},
        JsonFailure{"second_document", R"(["v", [[], [], []]]{})",
                    "JSON error: trailing characters at line 1 column 20"},
        JsonFailure{"short_row", R"(["v", [["o"], ["a", "b"], [[true]]]])",
                    "context construction failed: incidence row 0 has 1 attributes, expected 2"},
        JsonFailure{"fewer_rows_than_objects", R"(["v", [["o", "p"], ["a"], [[true]]]])",
                    "context construction failed: incidence has 1 rows, expected 2 (one per object)"},
        // Only JSON white space may stand before the document: a byte-order mark may not.
        JsonFailure{"byte_order_mark", "\xEF\xBB\xBF{\"tessara_version\": \"1\", \"context\": [[], [], []]}",
                    "JSON error: expected value at line 1 column 1"},
        JsonFailure{"huge_number_where_a_cell_goes", R"(["v", [["o"], ["a"], [[1e999]]]])",
                    "JSON error: invalid type: floating point `1e999`, expected a boolean at line 1 column 28"},
        JsonFailure{"leading_zero", R"({"x": 01})", "JSON error: invalid number at line 1 column 8"},
        JsonFailure{"plus_sign", R"({"x": +1})", "JSON error: expected value at line 1 column 7"},
        JsonFailure{"fraction_without_digits", R"({"x": 1.})", "JSON error: invalid number at line 1 column 9"},
        JsonFailure{"trailing_comma", R"(["v", [[], [], [],]])", "JSON error: trailing comma at line 1 column 19"},
        JsonFailure{"key_not_a_string", R"({1: 2})", "JSON error: key must be a string at line 1 column 2"},
        JsonFailure{"missing_colon", R"({"x" 2})", "JSON error: expected `:` at line 1 column 6"},
        JsonFailure{"tab_in_string", "[\"v\t\"]",
                    "JSON error: control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
        JsonFailure{"invalid_escape", R"(["\x"])", "JSON error: invalid escape at line 1 column 4"},
        JsonFailure{"lone_trailing_surrogate", R"(["\udc00"])",
                    "JSON error: lone trailing surrogate in hex escape at line 1 column 8"},
        JsonFailure{"overlong_utf8", "[\"\xC0\x80\"]", "JSON error: invalid unicode code point at line 1 column 3"},
        JsonFailure{"surrogate_in_utf8", "[\"\xED\xA0\x80\"]",
                    "JSON error: invalid unicode code point at line 1 column 4"},
        JsonFailure{"more_rows_than_objects", R"(["v", [[], [], [[], []]]])",
                    "context construction failed: incidence has 2 rows, expected 0 (one per object)"}),
    [](const testing::TestParamInfo<JsonFailure>& info) { return info.param.label; });

// Syntax failures carry the JSON layer's own wording; they must name the line
// and column and stay valid UTF-8.
struct SyntaxCase {
  std::string label;
  std::string input;
  std::string location;
};

class JsonSyntax : public testing::TestWithParam<SyntaxCase> {};

TEST_P(JsonSyntax, FailsWithALocatedJsonError) {
  const auto result = read_json(GetParam().input);
  ASSERT_FALSE(result);
  const std::string message = result.error().display();
  EXPECT_TRUE(message.starts_with("JSON error: ")) << message;
  EXPECT_TRUE(message.ends_with(GetParam().location)) << message;
  EXPECT_TRUE(tessara::formats::text::is_valid_utf8(message)) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Json, JsonSyntax,
    testing::Values(SyntaxCase{"empty", "", " at line 1 column 0"},
                    SyntaxCase{"truncated", "{\"tessara_version\": \"v\",\n \"context\": [", " at line 2 column 13"},
                    SyntaxCase{"bad_literal", "[tru]", " at line 1 column 5"},
                    SyntaxCase{"invalid_utf8_in_string", "[\"v\", [[\"a\xC3(\"], [], []]]", " at line 1 column 12"},
                    SyntaxCase{"invalid_utf8_in_skipped_key", "{\"x\xFF\": 1}", " at line 1 column 4"},
                    SyntaxCase{"lone_surrogate_escape", R"(["v", [["\ud800"], [], []]])", " at line 1 column 16"}),
    [](const testing::TestParamInfo<SyntaxCase>& info) { return info.param.label; });

std::string nested_arrays(int depth) {
  return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
}

TEST(Json, DeepNestingInsideAnUnknownKeyIsSkippedWithoutRecursion) {
  const std::string input =
      R"({"deep": )" + nested_arrays(100000) + R"(, "tessara_version": "v", "context": )" + kPayload + "}";
  const auto result = read_json(input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), kSmall);
}

TEST(Json, DeepNestingWhereNamesBelongFailsAtTheFirstLevel) {
  const std::string input = R"(["v", [)" + nested_arrays(100000) + "]]";
  EXPECT_EQ(error_of(read_json(input)), "JSON error: invalid type: sequence, expected a string at line 1 column 9");
}

TEST(Json, UnbalancedDeepNestingFailsCleanly) {
  const std::string input = R"({"deep": )" + std::string(100000, '[');
  const auto result = read_json(input);
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.error().display().starts_with("JSON error: ")) << result.error().display();
}

}  // namespace
