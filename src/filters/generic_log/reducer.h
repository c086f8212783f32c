#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::generic_log::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
std::optional<std::string> try_compress_generic_log_output(std::string_view text);

// The filter: the shortened text, or a copy of the input.
std::string compress_generic_log_output(std::string_view text);

}  // namespace filters::generic_log::reducer
