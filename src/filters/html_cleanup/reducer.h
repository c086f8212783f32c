#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::html_cleanup::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_html_cleanup_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_html_cleanup_output(std::string_view text);

}  // namespace filters::html_cleanup::reducer
