// The "diff" filter: unified diffs of every common form lose their context
// runs, binary payloads and "index " lines; large lockfile hunks and
// whitespace-only hunks become one line each.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::diff::reducer {

// The shortened text, or nothing when the text holds no diff block or no
// block gets smaller.
Attempt try_compress_diff_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_diff_output(std::string_view text);

// The path named by one token of a header line, without quotes, a trailing
// tab-separated date and git's "a/"-style side prefix; none for an empty
// token and for "/dev/null".
std::optional<std::string_view> clean_diff_path(std::string_view token);

}  // namespace filters::diff::reducer
