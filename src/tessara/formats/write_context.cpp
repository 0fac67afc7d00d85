#include "tessara/formats/write_context.hpp"

#include <array>
#include <utility>

#include "tessara/formats/text.hpp"
#include "tessara/formats/writers.hpp"

namespace tessara::formats {
namespace {

struct NamedFormat {
  std::string_view name;
  OutputFormat format;
};

constexpr std::array<NamedFormat, 8> kFormatNames{{{"cxt", OutputFormat::Cxt},
                                                   {"csv", OutputFormat::Csv},
                                                   {"tsv", OutputFormat::Tsv},
                                                   {"dat", OutputFormat::Fimi},
                                                   {"fimi", OutputFormat::Fimi},
                                                   {"xml", OutputFormat::FcaXml},
                                                   {"fca-xml", OutputFormat::FcaXml},
                                                   {"json", OutputFormat::Json}}};

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Every reader takes UTF-8 only.
std::optional<WriteError> invalid_utf8_name(const core::Context& context, OutputFormat format) {
  for (const bool objects : {true, false}) {
    const auto& names = objects ? context.objects() : context.attributes();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!text::is_valid_utf8(names[i]))
        return WriteError{std::string(output_extension(format)) + " cannot carry " +
                          name_and_place(context, objects, i) + ": it is not valid UTF-8"};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<OutputFormat> output_format_by_name(std::string_view name) {
  for (const NamedFormat& named : kFormatNames)
    if (equal_ignoring_ascii_case(name, named.name)) return named.format;
  return std::nullopt;
}

std::string_view output_extension(OutputFormat format) noexcept {
  switch (format) {
    case OutputFormat::Cxt:
      return "cxt";
    case OutputFormat::Csv:
      return "csv";
    case OutputFormat::Tsv:
      return "tsv";
    case OutputFormat::Fimi:
      return "dat";
    case OutputFormat::FcaXml:
      return "xml";
    case OutputFormat::Json:
      return "json";
  }
  return "";
}

std::string name_and_place(const core::Context& context, bool object, std::uint64_t index) {
  const char* kind = object ? "object" : "attribute";
  const std::string& name = object ? context.object_name(index) : context.attribute_name(index);
  return std::string("the ") + kind + " name " + text::quoted(text::decode_lossy(name)) + " (" + kind + " " +
         std::to_string(index) + ")";
}

std::expected<std::string, WriteError> write_context(const core::Context& context, OutputFormat format) {
  if (auto refused = invalid_utf8_name(context, format)) return std::unexpected(std::move(*refused));
  switch (format) {
    case OutputFormat::Cxt:
      return write_cxt(context);
    case OutputFormat::Csv:
      return write_delimited(context, ',');
    case OutputFormat::Tsv:
      return write_delimited(context, '\t');
    case OutputFormat::Fimi:
      return write_fimi(context);
    case OutputFormat::FcaXml:
      return write_fca_xml(context);
    case OutputFormat::Json:
      return write_json(context);
  }
  std::unreachable();
}

}  // namespace tessara::formats
