// The line model of a CI job log: where a line's message starts in each of
// the three layouts a job log arrives in, and which messages matter.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::ci_job_log::summary {

// One parsed line. The views point into the line that was parsed.
struct CiLine {
    std::string_view message;              // the message part, trimmed
    std::optional<std::string_view> job;   // job column of a tabbed line, trimmed, when not blank
    std::optional<std::string_view> step;  // step column of a tabbed line, trimmed, when not blank
    bool has_timestamp = false;
};

// The line in any of its layouts: plain, "TIMESTAMP message", or
// "job<TAB>step<TAB>TIMESTAMP message" / "job<TAB>step<TAB>TIMESTAMP<TAB>message".
CiLine parse_ci_line(std::string_view line);

// "YYYY-MM-DDTHH:MM:SS" with an optional fraction of one or more digits,
// then "Z"; digits are not range-checked.
bool is_github_timestamp(std::string_view token);

// The title of a "##[group]" or "::group::" command, when it has one.
std::optional<std::string_view> extract_group_step(std::string_view line);

// Whether the line is a "##[endgroup]" or "::endgroup::" command.
bool is_group_end(std::string_view line);

// The step a line announces: its tabbed job and step columns, or a message
// such as "Run ..." or "Post ...".
std::optional<std::string> step_label_for_line(const CiLine& line);

bool is_warning_line(std::string_view line);
bool is_failure_line(std::string_view line);
// Failures, warnings, completion and conclusion lines, links, artifact and
// report paths, and source locations.
bool is_important_line(std::string_view line);

}  // namespace filters::ci_job_log::summary
