#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::ci_job_log::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_ci_job_log_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_ci_job_log_output(std::string_view text);

}  // namespace filters::ci_job_log::reducer
