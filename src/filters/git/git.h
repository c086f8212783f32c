// The git filter: git diff sections, diff --stat runs, name-status runs,
// long and short status, each shortened by its own pass.
#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::git {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_git_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_git_output(std::string_view text);

}  // namespace filters::git
