#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace tessara::formats::xml {

// Decodes the references in raw XML text or an attribute value: the five
// predefined entities (&amp; &lt; &gt; &quot; &apos;) and numeric character
// references (&#233; &#xE9;) of characters XML allows. Nothing else is changed:
// no line ends or white space are normalised. A reference to any other entity,
// a character reference to a code point XML does not allow (such as &#0;, a
// surrogate or one beyond U+10FFFF) and an '&' that starts no complete
// reference are failures; the text names the reference and its byte offset,
// counted from raw_position, the offset of raw in the document.
std::expected<std::string, std::string> unescape(std::string_view raw, std::uint64_t raw_position);

}  // namespace tessara::formats::xml
