// Every writer against every reader: what a writer writes, read_context reads
// back (by the format's extension) as an equal context; what it refuses, it
// refuses with a message naming the format, and plain names are never refused.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "lattice_support.hpp"
#include "tessara/formats/read_context.hpp"
#include "tessara/formats/write_context.hpp"

namespace tessara::formats {
namespace {

constexpr std::array<OutputFormat, 6> kFormats{OutputFormat::Cxt,  OutputFormat::Csv,    OutputFormat::Tsv,
                                               OutputFormat::Fimi, OutputFormat::FcaXml, OutputFormat::Json};

// Names that some format's syntax treats specially: separators, quotes, line
// breaks, markup, white space at the ends, a byte-order mark, a control
// character, header look-alikes.
const std::vector<std::string> kAwkwardNames = {
    "plain", "", " lead", "trail ", "a\nb", "a\r\nb", "\r", "a,b", "a\tb", "\t\t", ",,,", "\"q\"", "<&>", "]]>",
    "x\x01y", "\xEF\xBB\xBF" "bom", "B", "1 2", "#c", "\xC3\xBC", "\xE2\x80\xA8", "\xC2\xA0nbsp", "a;b", "'",
    "\\", "\xEF\xBF\xBE", "{", "[", "x\x7F"};

std::string file_name(OutputFormat format) { return std::string("context.").append(output_extension(format)); }

core::Context renamed(const core::Context& context, std::mt19937& rng, bool awkward) {
  std::uniform_int_distribution<std::size_t> pick(0, kAwkwardNames.size() - 1);
  const auto names = [&](std::uint64_t count, char letter) {
    std::vector<std::string> out;
    for (std::uint64_t i = 0; i < count; ++i)
      out.push_back(awkward && pick(rng) % 2 == 0 ? kAwkwardNames[pick(rng)]
                                                  : std::string(1, letter).append(std::to_string(i)));
    return out;
  };
  std::vector<core::AttributeSet> rows(context.rows().begin(), context.rows().end());
  return core::Context::from_rows(names(context.n_objects(), 'g'), names(context.n_attributes(), 'm'), std::move(rows))
      .value();
}

void expect_equal(const core::Context& read, const core::Context& written, OutputFormat format) {
  if (format == OutputFormat::Fimi) {
    // FIMI carries no names: they read back as g0, g1, ... and m0, m1, ...
    ASSERT_EQ(read.n_objects(), written.n_objects());
    ASSERT_EQ(read.n_attributes(), written.n_attributes());
    for (std::uint64_t g = 0; g < read.n_objects(); ++g)
      EXPECT_EQ(read.object_name(g), std::string(1, 'g').append(std::to_string(g)));
  } else {
    EXPECT_EQ(read.objects(), written.objects());
    EXPECT_EQ(read.attributes(), written.attributes());
  }
  EXPECT_TRUE(std::ranges::equal(read.rows(), written.rows()));
}

struct Shape {
  std::uint32_t objects;
  std::uint32_t attributes;
};

class WriterRoundTrip : public ::testing::TestWithParam<Shape> {};

TEST_P(WriterRoundTrip, WhatIsWrittenReadsBackEqual) {
  std::mt19937 rng(GetParam().objects * 131u + GetParam().attributes);
  std::array<int, kFormats.size()> written{};
  for (int round = 0; round < 60; ++round) {
    const bool awkward = round % 2 == 1;
    const core::Context context =
        renamed(testing::random_context(rng, GetParam().objects, GetParam().attributes), rng, awkward);
    for (std::size_t f = 0; f < kFormats.size(); ++f) {
      const OutputFormat format = kFormats[f];
      const auto bytes = write_context(context, format);
      if (!bytes) {
        EXPECT_TRUE(bytes.error().message.starts_with(output_extension(format))) << bytes.error().message;
        // Plain names and an incidence every format can hold are never refused.
        const bool holdable = GetParam().objects > 0 && GetParam().attributes > 0 && format != OutputFormat::Fimi;
        EXPECT_FALSE(!awkward && holdable) << bytes.error().message;
        EXPECT_NE(format, OutputFormat::Json) << bytes.error().message;
        continue;
      }
      ++written[f];
      const auto read = read_context(*bytes, file_name(format));
      ASSERT_TRUE(read.has_value()) << file_name(format) << ": " << read.error().display() << "\n" << *bytes;
      expect_equal(*read, context, format);
    }
  }
  EXPECT_EQ(written.back(), 60);  // JSON carries everything
}

INSTANTIATE_TEST_SUITE_P(Shapes, WriterRoundTrip,
                         ::testing::Values(Shape{0, 0}, Shape{0, 3}, Shape{3, 0}, Shape{1, 1}, Shape{1, 9}, Shape{9, 1},
                                           Shape{63, 4}, Shape{64, 4}, Shape{65, 4}, Shape{4, 63}, Shape{4, 64},
                                           Shape{4, 65}, Shape{20, 12}),
                         [](const auto& info) {
                           return std::to_string(info.param.objects) + "x" + std::to_string(info.param.attributes);
                         });

core::Context two_by_two(std::vector<std::string> objects, std::vector<std::string> attributes,
                         std::vector<core::IncidenceRow> rows) {
  return core::Context::create(std::move(objects), std::move(attributes), std::move(rows)).value();
}

struct Refusal {
  OutputFormat format;
  core::Context context;
  std::string message;
};

TEST(Writers, RefuseWhatTheFormatCannotCarryAndSayWhy) {
  const std::vector<Refusal> refusals = {
      {OutputFormat::Cxt, two_by_two({"a", " b"}, {"x"}, {{true}, {false}}),
       "cxt cannot carry the object name \" b\" (object 1): CXT trims white space at both ends of a name"},
      {OutputFormat::Cxt, two_by_two({"a"}, {"x\ny"}, {{true}}),
       "cxt cannot carry the attribute name \"x\\ny\" (attribute 0): a CXT name is one line, without line feeds"},
      {OutputFormat::Cxt, two_by_two({""}, {"x"}, {{true}}),
       "cxt cannot carry the object name \"\" (object 0): a CXT name is a non-blank line"},
      {OutputFormat::Csv, two_by_two({"a"}, {}, {{}}),
       "csv cannot carry a context without attributes: a table needs a column"},
      {OutputFormat::Tsv, two_by_two({}, {"x"}, {}), "tsv cannot carry a context without objects: a table needs a row"},
      {OutputFormat::Fimi, two_by_two({"a", "b"}, {"x"}, {{true}, {false}}),
       "dat cannot carry the object name \"b\" (object 1) without attributes: a FIMI transaction is a non-empty line"},
      {OutputFormat::Fimi, two_by_two({"a"}, {"x", "y"}, {{true, false}}),
       "dat cannot carry the attribute name \"y\" (attribute 1) without objects: FIMI has as many attributes as the "
       "largest item id used, plus one"},
      {OutputFormat::FcaXml, two_by_two({"a "}, {"x"}, {{true}}),
       "xml cannot carry the object name \"a \" (object 0): FCA-XML trims XML white space at both ends of an object "
       "name"},
      {OutputFormat::FcaXml, two_by_two({"a"}, {"x\x01"}, {{true}}),
       "xml cannot carry the attribute name \"x\\u{1}\" (attribute 0): XML 1.0 forbids the character U+0001"},
      {OutputFormat::Json, two_by_two({"a"}, {"\xff"}, {{true}}),
       "json cannot carry the attribute name \"\xEF\xBF\xBD\" (attribute 0): it is not valid UTF-8"},
  };
  for (const Refusal& refusal : refusals) {
    const auto written = write_context(refusal.context, refusal.format);
    ASSERT_FALSE(written.has_value()) << refusal.message;
    EXPECT_EQ(written.error().message, refusal.message);
  }
}

TEST(Writers, FormatNamesAndTheFilesTheyMake) {
  EXPECT_EQ(output_format_by_name("DAT"), OutputFormat::Fimi);
  EXPECT_EQ(output_format_by_name("fca-xml"), OutputFormat::FcaXml);
  EXPECT_EQ(output_format_by_name("txt"), std::nullopt);
  const core::Context context = two_by_two({"o1", "o2"}, {"a", "b"}, {{true, false}, {true, true}});
  EXPECT_EQ(write_context(context, OutputFormat::Cxt).value(), "B\n\n2\n2\n\no1\no2\na\nb\nX.\nXX\n");
  EXPECT_EQ(write_context(context, OutputFormat::Csv).value(), ",a,b\no1,1,0\no2,1,1\n");
  EXPECT_EQ(write_context(context, OutputFormat::Fimi).value(), "0\n0 1\n");
  // A header whose names hold more tabs than the delimiters between them still reads as comma-separated.
  const core::Context tabbed = two_by_two({"o"}, {"a\t\tb"}, {{true}});
  EXPECT_EQ(write_context(tabbed, OutputFormat::Csv).value(), "\",\",a\t\tb\no,1\n");
}

}  // namespace
}  // namespace tessara::formats
