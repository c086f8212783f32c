#include "filters/ci_job_log/reducer.h"

#include "filters/filter.h"

namespace filters::ci_job_log::reducer {

Attempt try_compress_ci_job_log_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_ci_job_log_output(std::string_view text) { return run_alone(&try_compress_ci_job_log_output, text); }

}  // namespace filters::ci_job_log::reducer
