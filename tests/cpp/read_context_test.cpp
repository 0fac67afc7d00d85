#include "tessara/formats/read_context.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace formats = tessara::formats;
using formats::InputFormat;

namespace {

struct DetectCase {
  std::string filename;
  std::string head;
  std::optional<InputFormat> format;
};

void PrintTo(const DetectCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.filename) << " with " << testing::PrintToString(c.head);
}

class Detection : public testing::TestWithParam<DetectCase> {};

TEST_P(Detection, PicksTheFormat) {
  EXPECT_EQ(formats::detect_format(GetParam().filename, GetParam().head), GetParam().format)
      << "name " << GetParam().filename << ", head " << GetParam().head;
}

constexpr auto kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    ByExtension, Detection,
    testing::Values(DetectCase{"upload.cxt", "", InputFormat::Cxt}, DetectCase{"Data.CXT", "", InputFormat::Cxt},
                    DetectCase{"data.cXt", "1,2", InputFormat::Cxt}, DetectCase{"t.csv", "", InputFormat::Csv},
                    DetectCase{"data.tsv", "", InputFormat::Csv}, DetectCase{"data.TSV", "", InputFormat::Csv},
                    DetectCase{"m.dat", "", InputFormat::Fimi}, DetectCase{"m.Dat", "", InputFormat::Fimi},
                    DetectCase{"c.xml", "", InputFormat::FcaXml}, DetectCase{"c.json", "", InputFormat::Json},
                    DetectCase{"c.JSON", "", InputFormat::Json}, DetectCase{"a.b.cxt", "", InputFormat::Cxt},
                    DetectCase{".hidden.csv", "", InputFormat::Csv}, DetectCase{"dir/sub/x.dat", "", InputFormat::Fimi},
                    DetectCase{"/abs/x.xml", "", InputFormat::FcaXml}, DetectCase{"x.cxt/", "", InputFormat::Cxt},
                    DetectCase{"x.cxt//", "", InputFormat::Cxt},
                    // The extension is final: CXT text under a csv name goes to the CSV reader.
                    DetectCase{"x.csv", "B\n2\n3\n", InputFormat::Csv},
                    // Unknown extensions and names without one fall through to the content.
                    DetectCase{"notes.txt", "1 2\n", InputFormat::Fimi},
                    DetectCase{"data", "<?xml version=\"1.0\"?>", InputFormat::FcaXml}, DetectCase{".cxt", "", kNone},
                    DetectCase{".cxt", "B\n", InputFormat::Cxt}, DetectCase{"dir/.cxt", "", kNone},
                    DetectCase{"x.", "B", InputFormat::Cxt}, DetectCase{"x.", "", kNone},
                    DetectCase{"x.cxt.txt", "", kNone}, DetectCase{"dir.cxt/file", "", kNone},
                    DetectCase{"x.cxt/..", "", kNone}, DetectCase{"..", "", kNone}, DetectCase{"", "", kNone},
                    DetectCase{"/", "", kNone}, DetectCase{"x. cxt", "", kNone}, DetectCase{"x.cxt ", "", kNone},
                    DetectCase{"x.\u00c7SV", "", kNone}, DetectCase{"x.c\u0301xt", "", kNone}));

INSTANTIATE_TEST_SUITE_P(
    BySniffing, Detection,
    testing::Values(
        DetectCase{"upload", "B\n2\n", InputFormat::Cxt}, DetectCase{"upload", "  B \r\n", InputFormat::Cxt},
        DetectCase{"upload", "\u3000B\u00a0", InputFormat::Cxt}, DetectCase{"upload", "B", InputFormat::Cxt},
        DetectCase{"upload", "b\n2\n", kNone}, DetectCase{"upload", "BX\n", kNone},
        DetectCase{"upload", "\ufeffB\n", kNone}, DetectCase{"upload", "", kNone}, DetectCase{"upload", "\nB\n", kNone},
        DetectCase{"upload", " \t \nB\n", kNone}, DetectCase{"upload", "  <context>", InputFormat::FcaXml},
        DetectCase{"upload", "<", InputFormat::FcaXml},
        DetectCase{"upload", "{\"tessara_version\": 1", InputFormat::Json},
        DetectCase{"upload", "[1, 2]", InputFormat::Csv}, DetectCase{"upload", "[1]", kNone},
        DetectCase{"upload", "1 2 3\n", InputFormat::Fimi}, DetectCase{"upload", "12 34", InputFormat::Fimi},
        DetectCase{"upload", "12 \n", kNone}, DetectCase{"upload", "1\t2\n", kNone},
        DetectCase{"upload", "1\n2 3\n", kNone}, DetectCase{"upload", "a b\n", kNone},
        DetectCase{"upload", "a\tb\tc\n", kNone}, DetectCase{"upload", "1 2,3", InputFormat::Fimi},
        DetectCase{"upload", "1\t2,3", InputFormat::Csv}, DetectCase{"upload", ",a,b\r\n", InputFormat::Csv},
        DetectCase{"upload", "a,\xe2\x82", InputFormat::Csv}, DetectCase{"upload", "\xff,x", InputFormat::Csv},
        DetectCase{"upload", "\xff", kNone}, DetectCase{"upload", "\u0661 2", kNone},
        DetectCase{"upload", "1\u00a02", kNone}, DetectCase{"upload", "a\rb,c\n", InputFormat::Csv}));

TEST(Detection, LooksOnlyAtTheFirst256Bytes) {
  std::string head(256, 'a');
  head += ",b";
  EXPECT_EQ(formats::detect_format("upload", head), std::nullopt);
}

TEST(Detection, FormatNames) {
  EXPECT_EQ(formats::format_name(InputFormat::Cxt), "cxt");
  EXPECT_EQ(formats::format_name(InputFormat::Csv), "csv");
  EXPECT_EQ(formats::format_name(InputFormat::Fimi), "fimi");
  EXPECT_EQ(formats::format_name(InputFormat::FcaXml), "fca-xml");
  EXPECT_EQ(formats::format_name(InputFormat::Json), "");
}

std::string error_of(std::string_view bytes, std::string_view filename) {
  const auto result = formats::read_context(bytes, filename);
  return result ? std::string("(no error)") : result.error().display();
}

struct DispatchError {
  std::string bytes;
  std::string filename;
  std::string message;
};

void PrintTo(const DispatchError& c, std::ostream* os) {
  *os << testing::PrintToString(c.filename) << " with " << testing::PrintToString(c.bytes);
}

class DispatchErrors : public testing::TestWithParam<DispatchError> {};

TEST_P(DispatchErrors, StopBeforeAnyReader) {
  EXPECT_EQ(error_of(GetParam().bytes, GetParam().filename), GetParam().message);
}

const std::string kNoFormat = "invalid auto data: could not detect format from extension or first ";
const std::string kNotUtf8 = "I/O error: stream did not contain valid UTF-8";

INSTANTIATE_TEST_SUITE_P(ReadContext, DispatchErrors,
                         testing::Values(DispatchError{"", "upload", kNoFormat + "0 bytes"},
                                         DispatchError{"", "", kNoFormat + "0 bytes"},
                                         DispatchError{"abcdefghij", "notes.txt", kNoFormat + "10 bytes"},
                                         DispatchError{std::string(255, 'a'), "x", kNoFormat + "255 bytes"},
                                         DispatchError{std::string(256, 'a'), "x", kNoFormat + "256 bytes"},
                                         DispatchError{std::string(300, 'a'), "x", kNoFormat + "256 bytes"},
                                         // A comma past the head is not seen.
                                         DispatchError{std::string(300, 'a') + ",b", "x", kNoFormat + "256 bytes"},
                                         DispatchError{"B\n0\n0\n\xff", "data.cxt", kNotUtf8},
                                         DispatchError{"\xc0\xaf", "data.cxt", kNotUtf8},
                                         DispatchError{"a,b\n\xed\xa0\x80", "t.csv", kNotUtf8},
                                         DispatchError{"1 2\n\xf4\x90\x80\x80", "m.dat", kNotUtf8},
                                         DispatchError{"<a>\xe2\x82</a>", "c.xml", kNotUtf8},
                                         // Sniffed from a valid head, but the whole input is checked.
                                         DispatchError{"B\n" + std::string(300, ' ') + "\xff", "upload", kNotUtf8},
                                         // The UTF-8 check comes before any CXT check.
                                         DispatchError{"\xff", "upload.cxt", kNotUtf8}));

TEST(ReadContext, JsonGetsRawBytes) {
  EXPECT_NE(error_of("{\"a\": \"\xff\"}", "doc.json"), kNotUtf8);
  EXPECT_NE(error_of("{\xff", "upload"), kNotUtf8);
}

TEST(ReadContext, DispatchesToTheCxtReader) {
  const std::string worked = "B\n\n2\n3\n\ng1\ng2\n\nm1\nm2\nm3\n\nX.X\n.XX\n";
  for (const char* name : {"upload.cxt", "upload", "DATA.CXT"}) {
    const auto context = formats::read_context(worked, name);
    ASSERT_TRUE(context.has_value()) << name << ": " << context.error().display();
    EXPECT_EQ(context->n_objects(), 2u);
    EXPECT_EQ(context->n_attributes(), 3u);
  }
  EXPECT_EQ(error_of("BX\n", "upload.cxt"), R"(parse error in cxt: expected format header "B", got "BX")");
}

}  // namespace
