// The "listing" filter: file listings print as a path tree, with every
// generated or vendor directory that holds many entries collapsed into one
// counted row.
#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"
#include "filters/listing/detector.h"

namespace filters::listing::reducer {

// The shortened text, or nothing when the text is no listing or the tree
// would not be smaller.
Attempt try_compress_listing_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_listing_output(std::string_view text);

}  // namespace filters::listing::reducer
