#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "tessara/core/context.hpp"
#include "tessara/formats/write_context.hpp"

// One writer per format, called by write_context after the checks every
// format shares. Each refuses what its format cannot carry.
namespace tessara::formats {

std::expected<std::string, WriteError> write_cxt(const core::Context& context);
// CSV with delimiter ',' or TSV with '\t'.
std::expected<std::string, WriteError> write_delimited(const core::Context& context, char delimiter);
std::expected<std::string, WriteError> write_fimi(const core::Context& context);
std::expected<std::string, WriteError> write_fca_xml(const core::Context& context);
std::string write_json(const core::Context& context);

// Appends text (valid UTF-8) as a JSON string literal.
void append_json_string(std::string& out, std::string_view text);

// Appends the names as a JSON array of strings.
void append_json_name_list(std::string& out, const std::vector<std::string>& names);

// Appends the context as the JSON reader's payload: {"objects": [...],
// "attributes": [...], "incidence": [[true, false, ...], ...]}.
void append_json_context(std::string& out, const core::Context& context);

// "the object name "x" (object 3)": a name and its place, for messages.
std::string name_and_place(const core::Context& context, bool object, std::uint64_t index);

}  // namespace tessara::formats
