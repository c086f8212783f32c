#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::listing::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_listing_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_listing_output(std::string_view text);

}  // namespace filters::listing::reducer
