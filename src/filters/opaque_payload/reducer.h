#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::opaque_payload::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_opaque_payload_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_opaque_payload_output(std::string_view text);

// One marker line for a body that is wholly opaque (a JSON object made
// mostly of encoded strings, a large HTML page, a minified script), with
// "\n" when the body ends with one; nothing otherwise.
std::optional<std::string> summarize_body(std::string_view body);

// The candidate when it is smaller than the current text by the size rule,
// else the current text (a tie keeps the current text).
std::string_view choose_smaller(std::string_view current, std::string_view candidate);

}  // namespace filters::opaque_payload::reducer
