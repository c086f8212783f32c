// Recognises a GitHub Actions job log in any of its three line layouts.
#pragma once

#include <optional>

#include "text.h"

namespace filters::ci_job_log::detector {

struct CiJobLogSignals {
    bool has_failure = false;  // some message is a failure line
    bool has_warning = false;  // some message is a warning line
};

// The log's signals, or nothing when the text is not a job log.
std::optional<CiJobLogSignals> detect_ci_job_log(const text::LineIndex& lines);

}  // namespace filters::ci_job_log::detector
