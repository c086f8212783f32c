#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::diff::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_diff_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_diff_output(std::string_view text);

}  // namespace filters::diff::reducer
