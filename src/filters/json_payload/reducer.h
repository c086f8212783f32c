#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::json_payload::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or no candidate would be smaller.
Attempt try_compress_json_payload_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_json_payload_output(std::string_view text);

// JSON source text with the whitespace between tokens removed; strings are
// copied as they are. Nothing is validated.
std::string minify_json_source(std::string_view source);

}  // namespace filters::json_payload::reducer
