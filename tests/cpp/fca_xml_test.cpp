#include "tessara/formats/fca_xml.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "reader_support.hpp"

namespace {

using tessara::formats::read_fca_xml;
using tessara::test_support::error_of;
using tessara::test_support::Table;
using tessara::test_support::table_of;

struct XmlCase {
  std::string label;
  std::string input;
  Table expected;
};

class FcaXmlReads : public testing::TestWithParam<XmlCase> {};

TEST_P(FcaXmlReads, YieldsTheTable) {
  const auto result = read_fca_xml(GetParam().input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), GetParam().expected);
}

const std::string kColours = R"(<Attribute Name="red"/><Attribute Name="green"/><Attribute Name="blue"/>)";

// One object o with the given Name element text (or markup) having attribute red.
std::string one_object(const std::string& name_markup) {
  return "<Context>" + kColours + "<Object>" + name_markup + R"(<HasAttribute Id="0"/></Object></Context>)";
}

const Table kNamedO1{{"o1"}, {"red", "green", "blue"}, {"X.."}};

INSTANTIATE_TEST_SUITE_P(
    FcaXml, FcaXmlReads,
    testing::Values(
        XmlCase{"two_objects",
                R"(<?xml version="1.0"?><Context><Attributes>)" + kColours +
                    R"(</Attributes><Objects><Object><Name>o1</Name><HasAttribute AttributeIdentifier="0"/>)"
                    R"(<HasAttribute AttributeIdentifier="2"/></Object><Object><HasAttribute Id="1"/></Object>)"
                    R"(</Objects></Context>)",
                {{"o1", "g1"}, {"red", "green", "blue"}, {"X.X", ".X."}}},
        XmlCase{"name_trimmed", one_object("<Name>\n\t o1  \r\n</Name>"), kNamedO1},
        XmlCase{"entities_decoded",
                one_object("<Name>a &amp; b&#233;&#x41;</Name>"),
                {{"a & b\xC3\xA9"
                  "A"},
                 {"red", "green", "blue"},
                 {"X.."}}},
        XmlCase{"byte_order_mark", "\xEF\xBB\xBF" + one_object("<Name>o1</Name>"), kNamedO1},
        XmlCase{"comment_splits_text", one_object("<Name>o1<!-- c -->tail</Name>"), kNamedO1},
        XmlCase{"first_key_wins",
                R"(<C><Attribute Id="first" Name="second"/><Attribute Name="n" Id="i"/>)"
                R"(<Object><HasAttribute AttributeIdentifier="1" Id="0"/></Object></C>)",
                {{"g0"}, {"first", "n"}, {".X"}}},
        XmlCase{"dtd_default_attributes_ignored",
                R"(<!DOCTYPE C [<!ATTLIST Attribute Name CDATA "injected">]><C><Attribute Name="a"/><Attribute/>)"
                R"(<Object><HasAttribute Id="0"/></Object></C>)",
                {{"g0"}, {"a"}, {"X"}}},
        XmlCase{"start_tag_attribute",
                R"(<C><Attribute Id="a"></Attribute><Object><HasAttribute Id="0">)"
                R"(</HasAttribute></Object></C>)",
                {{"g0"}, {"a"}, {"X"}}},
        XmlCase{"bad_references_ignored",
                R"(<C><Attribute Name="a"/><Object><HasAttribute Id="abc"/><HasAttribute Id="-1"/>)"
                R"(<HasAttribute Id=" 0"/><HasAttribute Key="0"/><HasAttribute Id="+0"/></Object></C>)",
                {{"g0"}, {"a"}, {"X"}}},
        XmlCase{"repeated_reference",
                R"(<C><Attribute Name="a"/><Object><HasAttribute Id="0"/>)"
                R"(<HasAttribute Id="0"/></Object></C>)",
                {{"g0"}, {"a"}, {"X"}}},
        XmlCase{"other_case_and_prefixes_ignored",
                R"(<C xmlns:f="u"><attribute Name="x"/><f:Attribute Name="y"/><Attribute Name="a"/>)"
                R"(<object><Name>no</Name></object><Object><f:Name>no</f:Name><HasAttribute Id="0"/></Object></C>)",
                {{"g0"}, {"a"}, {"X"}}},
        XmlCase{"empty_name_element_leaves_capture_armed",
                R"(<C><Attribute Name="a"/><Object><Name></Name><Note>late</Note></Object></C>)",
                {{"late"}, {"a"}, {"."}}},
        XmlCase{"empty_element_name_does_not_arm",
                R"(<C><Attribute Name="a"/><Object><Name/><Note>text</Note></Object></C>)",
                {{"g0"}, {"a"}, {"."}}},
        XmlCase{"nested_object_restarts",
                R"(<C><Attribute Name="a"/><Object><HasAttribute Id="0"/>)"
                R"(<Object><Name>in</Name></Object></Object></C>)",
                {{"in"}, {"a"}, {"."}}},
        // ConExp-style files name attributes by a Name child under an Identifier key,
        // and repeat HasAttribute inside concept intents outside any object.
        XmlCase{"conexp_layout",
                R"(<?xml version="1.0" encoding="UTF-8"?>
<ConceptualSystem>
  <Version MajorNumber="1" MinorNumber="0"/>
  <Contexts>
    <Context Identifier="0" Type="Binary">
      <Attributes>
        <Attribute Identifier="0"><Name>preying</Name></Attribute>
        <Attribute Identifier="1"><Name> flying </Name></Attribute>
        <Attribute Identifier="2"><Name>needs water</Name></Attribute>
      </Attributes>
      <Objects>
        <Object><Name>eagle</Name><Intent><HasAttribute AttributeIdentifier="0"/><HasAttribute AttributeIdentifier="1"/></Intent></Object>
        <Object><Name>frog</Name><Intent><HasAttribute AttributeIdentifier="2"/></Intent></Object>
      </Objects>
    </Context>
  </Contexts>
  <Lattices>
    <Lattice Identifier="0" Context="0">
      <Concept Identifier="0"><Extent/><Intent><HasAttribute AttributeIdentifier="2"/></Intent></Concept>
    </Lattice>
  </Lattices>
</ConceptualSystem>
)",
                {{"eagle", "frog"}, {"preying", "flying", "needs water"}, {"XX.", "..X"}}}),
    [](const testing::TestParamInfo<XmlCase>& info) { return info.param.label; });

struct XmlFailure {
  std::string label;
  std::string input;
  std::string message;
};

class FcaXmlRefuses : public testing::TestWithParam<XmlFailure> {};

TEST_P(FcaXmlRefuses, WithOneClearError) { EXPECT_EQ(error_of(read_fca_xml(GetParam().input)), GetParam().message); }

const std::string kXmlError = "parse error in fca-xml: XML parse error at position ";

INSTANTIATE_TEST_SUITE_P(
    FcaXml, FcaXmlRefuses,
    testing::Values(
        XmlFailure{"unclosed_object_at_end", R"(<C><Attribute Name="a"/><Object><Name>x</Name>)",
                   kXmlError + "46: unclosed element \"Object\" at end of input"},
        XmlFailure{"keyless_attributes_only", R"(<C><Attribute Key="a"/><Attribute/><Object/></C>)",
                   "invalid fca-xml data: no <Attribute> elements found"},
        XmlFailure{"keyless_attribute_without_name_child",
                   R"(<C><Attribute Identifier="0"><Label>a</Label></Attribute><Object></Object></C>)",
                   "invalid fca-xml data: no <Attribute> elements found"},
        XmlFailure{"empty_element_objects_only", R"(<C><Attribute Name="a"/><Object/><Object/></C>)",
                   "invalid fca-xml data: no <Object> elements found"},
        XmlFailure{"reference_equal_to_count",
                   R"(<C><Attribute Name="a"/><Object><Name>say "hi"</Name><HasAttribute Id="1"/></Object></C>)",
                   "invalid fca-xml data: object \"say \\\"hi\\\"\" references attribute id 1, only 1 attributes "
                   "declared"},
        XmlFailure{"reference_to_later_attribute",
                   R"(<C><Attribute Name="a"/><Object><HasAttribute Id="1"/></Object><Attribute Name="b"/></C>)",
                   "invalid fca-xml data: object \"g0\" references attribute id 1, only 1 attributes declared"},
        XmlFailure{"narrower_early_row",
                   R"(<C><Attribute Name="a"/><Object/><Object></Object><Attribute Name="b"/><Object></Object></C>)",
                   "context construction failed: incidence row 0 has 1 attributes, expected 2"},
        XmlFailure{"mismatched_end_tag", R"(<C><Attribute Name="a"/><Object></Objects></C>)",
                   kXmlError + "34: end tag \"Objects\" does not match start tag \"Object\""},
        // An empty document is well formed and declares nothing.
        XmlFailure{"empty_input", "", "invalid fca-xml data: no <Attribute> elements found"},
        XmlFailure{"whitespace_only_input", " \n\t ", "invalid fca-xml data: no <Attribute> elements found"},
        XmlFailure{"truncated_start_tag", "<C><Attri", kXmlError + "3: unclosed start tag"},
        // A value that does not unescape contributes nothing.
        XmlFailure{"undefined_entity", R"(<C><Attribute Name="a&nbsp;"/></C>)",
                   "invalid fca-xml data: no <Attribute> elements found"},
        XmlFailure{
            "undefined_entity_with_external_subset",
            R"(<!DOCTYPE C SYSTEM "/etc/passwd"><C><Attribute Name="a"/><Object><Name>&ext;</Name></Object></C>)",
            "parse error in fca-xml: invalid text in <Name>: undefined entity \"&ext;\" at position 71"},
        XmlFailure{"external_entity_declaration",
                   R"(<!DOCTYPE C [<!ENTITY ext SYSTEM "/etc/passwd">]><C><Attribute Name="&ext;"/></C>)",
                   "invalid fca-xml data: no <Attribute> elements found"},
        XmlFailure{"billion_laughs",
                   R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">)"
                   R"(<!ENTITY lol1 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">)"
                   R"(<!ENTITY lol2 "&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;">)"
                   R"(<!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">)"
                   R"(<!ENTITY lol4 "&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;">)"
                   R"(<!ENTITY lol5 "&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;">)"
                   R"(<!ENTITY lol6 "&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;">)"
                   R"(<!ENTITY lol7 "&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;">)"
                   R"(<!ENTITY lol8 "&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;">)"
                   R"(<!ENTITY lol9 "&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;">)"
                   R"(]><lolz><Attribute Name="&lol9;"/><Object/></lolz>)",
                   "invalid fca-xml data: no <Attribute> elements found"}),
    [](const testing::TestParamInfo<XmlFailure>& info) { return info.param.label; });

// The XML layer is lenient and leaves unescaping to the reader, value by
// value: each case gives the context (as its table) or the error's text.
struct LenientCase {
  std::string label;
  std::string input;
  std::string outcome;
};

std::string outcome_of(const std::string& input) {
  const auto result = read_fca_xml(input);
  if (!result) return result.error().display();
  std::ostringstream out;
  out << table_of(*result);
  return out.str();
}

std::string shown(const Table& table) {
  std::ostringstream out;
  out << table;
  return out.str();
}

// The body inside <C> after the two attributes a and b.
std::string two_attributes(const std::string& body) {
  return R"(<C><Attribute Name="a"/><Attribute Name="b"/>)" + body + "</C>";
}

// One object named by the given Name text, after the attributes a and b; its
// first byte sits at offset 59.
std::string named(const std::string& name_text) {
  return two_attributes("<Object><Name>" + name_text + "</Name></Object>");
}

std::string invalid_name(const std::string& reason) {
  return "parse error in fca-xml: invalid text in <Name>: " + reason;
}

class FcaXmlLenient : public testing::TestWithParam<LenientCase> {};

TEST_P(FcaXmlLenient, ReadsOrRefusesAsTheReaderDecides) {
  EXPECT_EQ(outcome_of(GetParam().input), GetParam().outcome);
}

const std::string kG0AB = shown({{"g0"}, {"a", "b"}, {".."}});
const std::string kG0A = shown({{"g0"}, {"a"}, {"."}});

INSTANTIATE_TEST_SUITE_P(
    FcaXml, FcaXmlLenient,
    testing::Values(
        // A captured name that does not unescape is an error; other values contribute nothing.
        LenientCase{"undefined_entity_in_name", named("a&bogus;"),
                    invalid_name("undefined entity \"&bogus;\" at position 60")},
        LenientCase{"nul_reference_in_name", named("a&#0;"),
                    invalid_name("invalid character reference \"&#0;\" at position 60")},
        LenientCase{"surrogate_reference_in_name", named("&#xD800;"),
                    invalid_name("invalid character reference \"&#xD800;\" at position 59")},
        LenientCase{"reference_beyond_unicode_in_name", named("&#x110000;"),
                    invalid_name("invalid character reference \"&#x110000;\" at position 59")},
        LenientCase{"noncharacter_reference_in_name", named("&#65534;"),
                    invalid_name("invalid character reference \"&#65534;\" at position 59")},
        LenientCase{"upper_case_x_reference_in_name", named("&#X41;"),
                    invalid_name("invalid character reference \"&#X41;\" at position 59")},
        LenientCase{"empty_reference_in_name", named("&#;"),
                    invalid_name("invalid character reference \"&#;\" at position 59")},
        LenientCase{"bare_ampersand_in_name", named("AT & T"),
                    invalid_name("unterminated reference \"&\" at position 62")},
        LenientCase{"unterminated_reference_in_name", named("x&amp"),
                    invalid_name("unterminated reference \"&amp\" at position 60")},
        LenientCase{"attribute_value_not_unescaping",
                    R"(<C><Attribute Name="&bogus;"/><Attribute Name="a"/><Object></Object></C>)", kG0A},
        LenientCase{"uncaptured_text_not_unescaped", two_attributes("<Note>&bogus;</Note><Object></Object>"), kG0AB},
        LenientCase{"reference_not_unescaping", two_attributes(R"(<Object><HasAttribute Id="&x;"/></Object>)"), kG0AB},
        LenientCase{"reference_unescaped_then_read", two_attributes(R"(<Object><HasAttribute Id="&#49;"/></Object>)"),
                    shown({{"g0"}, {"a", "b"}, {".X"}})},
        // Declarations and the document type are passed over; nothing declared is expanded.
        LenientCase{"declaration_and_document_type_ignored",
                    R"(<?xml version="1.0"?><!DOCTYPE C [<!ENTITY e "x">]><C><Attribute Name="a"/>)"
                    R"(<Object></Object></C>)",
                    kG0A},
        LenientCase{"declared_entity_never_expanded",
                    R"(<!DOCTYPE C [<!ENTITY e "x">]><C><Attribute Name="a"/><Attribute Name="&e;"/>)"
                    R"(<Object><Name>&e;</Name></Object></C>)",
                    invalid_name("undefined entity \"&e;\" at position 91")},
        LenientCase{"document_type_with_markup_in_literals_and_comments",
                    R"(<!doctype C SYSTEM "a>b" [<!ENTITY e 'x]>'><!-- ]> " --><?p ]> ' ?>]><C><Attribute Name="a"/>)"
                    R"(<Object></Object></C>)",
                    kG0A},
        // Text is trimmed first and unescaped afterwards, and never normalised.
        LenientCase{"references_survive_trimming", named("&#32;x&#32;"), shown({{" x "}, {"a", "b"}, {".."}})},
        LenientCase{"reference_alone_is_text", two_attributes("<Object><Name>&#10;</Name>z</Object>"),
                    shown({{"\n"}, {"a", "b"}, {".."}})},
        LenientCase{"line_ends_kept_in_text", named("a\r\nb\rc"), shown({{"a\r\nb\rc"}, {"a", "b"}, {".."}})},
        LenientCase{"attribute_value_not_normalised", "<C><Attribute Name=\"a\tb\nc\"/><Object></Object></C>",
                    shown({{"g0"}, {"a\tb\nc"}, {"."}})},
        LenientCase{"every_reference_form", named("&#x10FFFF;&#9;&apos;&quot;&lt;&gt;&#00065;&#x6a;"),
                    shown({{"\xF4\x8F\xBF\xBF\t'\"<>Aj"}, {"a", "b"}, {".."}})},
        LenientCase{"markup_characters_in_values_and_cdata",
                    R"(<C><Attribute Name='a>"b'/><Object><Name><![CDATA[</C>]]></Name>x > y</Object></C>)",
                    shown({{"x > y"}, {"a>\"b"}, {"."}})},
        // Several top-level elements; repeated and malformed keys are read as the steps read them.
        LenientCase{"several_top_level_elements", R"(<Attribute Name="a"/><Object><HasAttribute Id="0"/></Object>)",
                    shown({{"g0"}, {"a"}, {"X"}})},
        LenientCase{"repeated_attribute_key", R"(<C><Attribute Name="a" Name="b"/><Object></Object></C>)", kG0A},
        LenientCase{"malformed_attributes_passed_over",
                    R"(<C><Attribute Key Name=bare ="v" 'q' Id = 'i' Name="n"/><Object></Object></C>)",
                    shown({{"g0"}, {"i"}, {"."}})},
        // A keyless Attribute inside an open object is no declaration; its Name names the object.
        LenientCase{"attribute_inside_object_names_object",
                    R"(<C><Attribute Name="a"/><Object><Attribute><Name>n</Name></Attribute></Object></C>)",
                    shown({{"n"}, {"a"}, {"."}})},
        // The XML layer's own failures, at the byte where the construct begins.
        LenientCase{"unclosed_comment", "<C><!-- x", kXmlError + "3: unclosed comment"},
        LenientCase{"unclosed_cdata", "<C><![CDATA[x", kXmlError + "3: unclosed CDATA section"},
        LenientCase{"unclosed_declaration", "<?xml version", kXmlError + "0: unclosed processing instruction"},
        LenientCase{"unclosed_document_type", "<!DOCTYPE C [<!-- ]> -->",
                    kXmlError + "0: unclosed document type declaration"},
        LenientCase{"unknown_markup", "<C><!ELEMENT C ANY>",
                    kXmlError + "3: expected a comment, a CDATA section or a document type after \"<!\""},
        LenientCase{"no_element_name", "<C>< a/></C>", kXmlError + "3: expected an element name after \"<\""},
        LenientCase{"unclosed_quote", R"(<C><Attribute Name="a/></C>)", kXmlError + "3: unclosed start tag"},
        LenientCase{"unclosed_end_tag", "<C></C", kXmlError + "3: unclosed end tag"},
        LenientCase{"end_tag_without_start_tag", R"(<Attribute Name="a"/></C>)",
                    kXmlError + "23: end tag \"C\" has no start tag"}),
    [](const testing::TestParamInfo<LenientCase>& info) { return info.param.label; });

TEST(FcaXml, DeepNestingNeitherCrashesNorRecurses) {
  std::string input = R"(<C><Attribute Name="a"/><Object><Name>deep</Name>)";
  for (int i = 0; i < 100000; ++i) input += "<w>";
  input += R"(<HasAttribute Id="0"/>)";
  for (int i = 0; i < 100000; ++i) input += "</w>";
  input += "</Object></C>";
  const auto result = read_fca_xml(input);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), (Table{{"deep"}, {"a"}, {"X"}}));
}

TEST(FcaXml, TextArrivingInManyPiecesIsOneName) {
  // Long text with many entity references reaches the reader as one trimmed name.
  std::string name;
  for (int i = 0; i < 5000; ++i) name += "x&amp;";
  const auto result = read_fca_xml(one_object("<Name>  " + name + "  </Name>"));
  ASSERT_TRUE(result) << error_of(result);
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "x&";
  EXPECT_EQ(result->object_name(0), expected);
}

}  // namespace
