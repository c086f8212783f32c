// The "test-runner" filter: a recognised test run shrinks to a headline
// naming the runner and the outcome, and the lines that explain it.
#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::test_runner::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_test_runner_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_test_runner_output(std::string_view text);

}  // namespace filters::test_runner::reducer
