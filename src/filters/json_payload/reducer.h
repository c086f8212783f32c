#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::json_payload::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
std::optional<std::string> try_compress_json_payload_output(std::string_view text);

// The filter: the shortened text, or a copy of the input.
std::string compress_json_payload_output(std::string_view text);

// JSON source text with the whitespace between tokens removed; strings are
// copied as they are. Nothing is validated.
std::string minify_json_source(std::string_view source);

// Whether `minify_json_source` would drop any character of `source`. Stops
// at the first one, so pretty-printed text answers at once.
bool minify_drops_something(std::string_view source);

}  // namespace filters::json_payload::reducer
