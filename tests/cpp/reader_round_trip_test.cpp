#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reader_support.hpp"
#include "tessara/formats/read_context.hpp"

// The same context written in every format reads back to the same names and
// rows through format detection and dispatch.
namespace {

using tessara::formats::read_context;
using tessara::test_support::error_of;
using tessara::test_support::Table;
using tessara::test_support::table_of;

bool has(const Table& table, std::size_t g, std::size_t m) { return table.rows[g][m] == 'X'; }

std::string write_cxt(const Table& table) {
  std::string out =
      "B\n\n" + std::to_string(table.objects.size()) + "\n" + std::to_string(table.attributes.size()) + "\n\n";
  for (const auto& name : table.objects) out += name + "\n";
  for (const auto& name : table.attributes) out += name + "\n";
  for (const auto& row : table.rows) out += row + "\n";
  return out;
}

std::string csv_field(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string write_csv(const Table& table) {
  std::string out = "name";
  for (const auto& name : table.attributes) {
    out += ',';
    out += csv_field(name);
  }
  out += "\r\n";
  for (std::size_t g = 0; g < table.objects.size(); ++g) {
    out += csv_field(table.objects[g]);
    for (std::size_t m = 0; m < table.attributes.size(); ++m) out += has(table, g, m) ? ",1" : ",0";
    out += "\r\n";
  }
  return out;
}

// FIMI names are generated, so it carries only the rows (each non-empty).
std::string write_fimi(const Table& table) {
  std::string out;
  for (std::size_t g = 0; g < table.objects.size(); ++g) {
    for (std::size_t m = 0; m < table.attributes.size(); ++m)
      if (has(table, g, m)) out += std::to_string(m) + " ";
    out += "\n";
  }
  return out;
}

std::string xml_escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      // Parsers normalise literal line breaks and tabs in attribute values.
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string write_xml(const Table& table) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Context>\n <Attributes>\n";
  for (const auto& name : table.attributes) out += "  <Attribute Name=\"" + xml_escaped(name) + "\"/>\n";
  out += " </Attributes>\n <Objects>\n";
  for (std::size_t g = 0; g < table.objects.size(); ++g) {
    out += "  <Object><Name>" + xml_escaped(table.objects[g]) + "</Name>";
    for (std::size_t m = 0; m < table.attributes.size(); ++m)
      if (has(table, g, m)) out += "<HasAttribute AttributeIdentifier=\"" + std::to_string(m) + "\"/>";
    out += "</Object>\n";
  }
  return out + " </Objects>\n</Context>\n";
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string json_names(const std::vector<std::string>& names) {
  std::string out = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) out += ", ";
    out += json_string(names[i]);
  }
  return out + "]";
}

std::string write_json(const Table& table) {
  std::string out = "{\"tessara_version\": \"0.2.0\", \"context\": {\"objects\": " + json_names(table.objects) +
                    ", \"attributes\": " + json_names(table.attributes) + ", \"incidence\": [";
  for (std::size_t g = 0; g < table.rows.size(); ++g) {
    out += g ? ", [" : "[";
    for (std::size_t m = 0; m < table.attributes.size(); ++m)
      out += std::string(m ? ", " : "") + (has(table, g, m) ? "true" : "false");
    out += "]";
  }
  return out + "]}}";
}

// Names as FIMI generates them, so one table serves all five formats.
const Table kShared{{"g0", "g1", "g2", "g3"}, {"m0", "m1", "m2", "m3"}, {"X.X.", ".XXX", "...X", "XXXX"}};

struct Writer {
  std::string label;
  std::string (*write)(const Table&);
  std::string extension;
};

class RoundTrip : public testing::TestWithParam<Writer> {};

TEST_P(RoundTrip, ByExtension) {
  const auto result = read_context(GetParam().write(kShared), "context." + GetParam().extension);
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), kShared);
}

TEST_P(RoundTrip, BySniffing) {
  const auto result = read_context(GetParam().write(kShared), "upload");
  ASSERT_TRUE(result) << error_of(result);
  EXPECT_EQ(table_of(*result), kShared);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         testing::Values(Writer{"cxt", write_cxt, "cxt"}, Writer{"csv", write_csv, "csv"},
                                         Writer{"fimi", write_fimi, "dat"}, Writer{"xml", write_xml, "xml"},
                                         Writer{"json", write_json, "json"}),
                         [](const testing::TestParamInfo<Writer>& info) { return info.param.label; });

// Random tables whose names need quoting or escaping in the formats that carry
// names (CXT names cannot hold line breaks or outer spaces, so it is left out).
Table random_table(std::mt19937& random) {
  static const std::vector<std::string> kPieces = {"a", "B",  " ",  ",",        "\"", "<",
                                                   "&", "\t", "\n", "\xC3\xA9", "'",  ";"};
  auto name = [&](std::size_t index) {
    std::string out = std::to_string(index);
    const auto length = random() % 5;
    for (std::size_t k = 0; k < length; ++k) out += kPieces[random() % kPieces.size()];
    return "n" + out + "z";
  };
  Table table;
  const auto objects = 1 + random() % 6;
  const auto attributes = 1 + random() % 6;
  for (std::size_t g = 0; g < objects; ++g) table.objects.push_back(name(g));
  for (std::size_t m = 0; m < attributes; ++m) table.attributes.push_back(name(m));
  for (std::size_t g = 0; g < objects; ++g) {
    std::string row;
    for (std::size_t m = 0; m < attributes; ++m) row += random() % 2 ? 'X' : '.';
    table.rows.push_back(row);
  }
  return table;
}

TEST(RoundTripRandom, NamedFormatsKeepEveryName) {
  std::mt19937 random(20240611);
  for (int trial = 0; trial < 200; ++trial) {
    const Table table = random_table(random);
    for (const Writer& writer :
         {Writer{"csv", write_csv, "csv"}, Writer{"xml", write_xml, "xml"}, Writer{"json", write_json, "json"}}) {
      // The CSV delimiter is chosen by counting tabs and commas on the first
      // line, quoted or not, so tabs in names could turn it into a tab.
      if (writer.label == "csv" && write_csv(table).find('\t') != std::string::npos) continue;
      const auto result = read_context(writer.write(table), "t." + writer.extension);
      ASSERT_TRUE(result) << writer.label << ": " << error_of(result);
      ASSERT_EQ(table_of(*result), table) << writer.label << " trial " << trial;
    }
  }
}

}  // namespace
