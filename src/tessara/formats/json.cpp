#include "tessara/formats/json.hpp"

#include "tessara/formats/json_document.hpp"

namespace tessara::formats {

std::expected<core::Context, ParseError> read_json(std::string_view bytes) {
  auto payload = json_document::parse(bytes);
  if (!payload) return std::unexpected(ParseError::json(std::move(payload.error())));
  // Construction checks the row widths and that there is one row per object.
  auto context =
      core::Context::create(std::move(payload->objects), std::move(payload->attributes), std::move(payload->incidence));
  if (!context) return std::unexpected(ParseError::construction(context.error()));
  return std::move(*context);
}

}  // namespace tessara::formats
