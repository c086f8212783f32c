// The "table" filter: a recognised table keeps its header, its first and
// last rows, the rows worth reading, and one omission marker for each gap.
#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::table::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_table_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_table_output(std::string_view text);

}  // namespace filters::table::reducer
