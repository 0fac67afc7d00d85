#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "tessara/core/context.hpp"

namespace tessara::formats {

// The formats a context can be written in, named by the file extensions the
// readers choose them by.
enum class OutputFormat { Cxt, Csv, Tsv, Fimi, FcaXml, Json };

// The format a name selects: an extension "cxt", "csv", "tsv", "dat", "xml",
// "json" (ASCII case ignored) or a format name "fimi", "fca-xml"; nothing for
// any other name.
std::optional<OutputFormat> output_format_by_name(std::string_view name);

// The file extension that makes read_context choose the reader of a format.
std::string_view output_extension(OutputFormat format) noexcept;

// Why a context cannot be written in a format: what and where, in a message
// that starts with the format's extension.
struct WriteError {
  std::string message;
};

// The context as the bytes of a file in `format`, which read_context (given a
// file name with the format's extension) reads back as an equal context: the
// same names in the same order and the same incidence. Where a format cannot
// carry a context, the context is refused with a WriteError rather than
// written so that it reads back different:
// - every format: names must be valid UTF-8;
// - cxt: names must be non-empty, hold no line feed and have no Unicode white
//   space at either end (the reader takes each name as a trimmed line);
// - csv, tsv: at least one object and one attribute;
// - dat (FIMI): carries no names at all, which read back as g0, g1, ... and
//   m0, m1, ...; every object needs an attribute (a transaction is a non-empty
//   line) and the last attribute an object (the largest item id fixes the
//   attribute count); at least one object;
// - xml (FCA-XML): at least one object and one attribute; object names
//   non-empty with no XML white space (space, tab, CR, LF) at either end;
//   no character XML 1.0 forbids (control characters other than tab, CR and
//   LF, U+FFFE, U+FFFF) in any name;
// - json: every context.
std::expected<std::string, WriteError> write_context(const core::Context& context, OutputFormat format);

}  // namespace tessara::formats
