#include "filters/ci_job_log/summary.h"

#include <array>

#include "text.h"

namespace filters::ci_job_log::summary {

namespace {

constexpr std::size_t kTimestampSeconds = 19;  // "YYYY-MM-DDTHH:MM:SS"
constexpr std::string_view kGroupStarts[] = {"##[group]", "::group::"};
constexpr std::size_t kGroupCommandLength = 9;

// Phrases that say a step or job failed, read in the lower-cased line.
// "exit code 1" also meets codes such as 127, which are failures too.
constexpr auto kFailurePhrases = text::WordSet<6>::of({
    "process completed with exit code",
    "failed with exit code",
    "exit code 1",
    "status: failure",
    "result: failure",
    "conclusion: failure",
});

constexpr auto kCompletionPhrases = text::WordSet<6>::of({
    "workflow completed",
    "job completed",
    "completed with status",
    "completed with result",
    "completed successfully",
    "conclusion:",
});

// Links and the folders reports and artifacts are written to.
constexpr auto kReferencePhrases = text::WordSet<9>::of({
    "https://",
    "http://",
    "artifact",
    "test-results/",
    "playwright-report/",
    "coverage/",
    "dist/",
    "build/",
    "logs/",
});

constexpr auto kReportFileSuffixes = text::WordSet<9>::of({
    ".zip",
    ".tar.gz",
    ".log",
    ".txt",
    ".html",
    ".xml",
    ".json",
    ".png",
    ".jpg",
});

std::optional<std::string_view> non_blank(std::string_view column) {
    column = text::trim(column);
    if (column.empty()) return std::nullopt;
    return column;
}

CiLine tabbed(std::string_view job, std::string_view step, std::string_view message) {
    return CiLine{text::trim(message), non_blank(job), non_blank(step), true};
}

// A path, then ":" and a line number: "src/app.ts:12:5", "at f (/a/b.js:3:1)".
bool is_source_location(std::string_view t) {
    std::string_view s = t;
    if (s.starts_with("at ")) s.remove_prefix(3);
    s = text::trim(s);
    for (std::size_t colon = s.find(':'); colon != std::string_view::npos;) {
        const std::size_t next = s.find(':', colon + 1);
        const std::string_view part =
            s.substr(colon + 1, (next == std::string_view::npos ? s.size() : next) - colon - 1);
        if (text::is_ascii_digits(part)) {
            const std::string_view path = s.substr(0, colon);
            return !path.empty() && !text::contains(path, "://") &&
                   path.find_first_of("/\\.") != std::string_view::npos;
        }
        colon = next;
    }
    return false;
}

}  // namespace

bool is_github_timestamp(std::string_view token) {
    if (!token.ends_with('Z')) return false;
    token.remove_suffix(1);
    if (token.size() < kTimestampSeconds) return false;
    if (token.size() > kTimestampSeconds &&
        (token[kTimestampSeconds] != '.' || !text::is_ascii_digits(token.substr(kTimestampSeconds + 1))))
        return false;
    constexpr std::string_view kShape = "DDDD-DD-DDTDD:DD:DD";
    for (std::size_t i = 0; i < kTimestampSeconds; ++i) {
        const bool ok = kShape[i] == 'D' ? text::is_ascii_digit(token[i]) : token[i] == kShape[i];
        if (!ok) return false;
    }
    return true;
}

CiLine parse_ci_line(std::string_view line) {
    // The first three tabs cut the line into at most four columns.
    std::array<std::string_view, 4> columns;
    std::size_t count = 0;
    std::size_t from = 0;
    while (count < 3) {
        const std::size_t tab = line.find('\t', from);
        if (tab == std::string_view::npos) break;
        columns[count++] = line.substr(from, tab - from);
        from = tab + 1;
    }
    columns[count++] = line.substr(from);

    if (count == 3) {
        if (const auto split = text::split_once_whitespace(text::trim(columns[2]));
            split && is_github_timestamp(split->first))
            return tabbed(columns[0], columns[1], split->second);
    } else if (count == 4 && is_github_timestamp(text::trim(columns[2]))) {
        return tabbed(columns[0], columns[1], columns[3]);
    }
    if (const auto split = text::split_once_whitespace(text::trim_start(line));
        split && is_github_timestamp(split->first))
        return CiLine{text::trim(split->second), std::nullopt, std::nullopt, true};
    return CiLine{text::trim(line), std::nullopt, std::nullopt, false};
}

std::optional<std::string_view> extract_group_step(std::string_view line) {
    line = text::trim(line);
    if (line.size() < kGroupCommandLength) return std::nullopt;
    for (std::string_view start : kGroupStarts) {
        if (!line.starts_with(start)) continue;
        const std::string_view title = text::trim(line.substr(kGroupCommandLength));
        if (title.empty()) return std::nullopt;
        return title;
    }
    return std::nullopt;
}

bool is_group_end(std::string_view line) {
    return text::starts_with_any(text::trim(line), {"##[endgroup]", "::endgroup::"});
}

std::optional<std::string> step_label_for_line(const CiLine& line) {
    if (line.step) {
        if (line.job && *line.job != *line.step) return text::format("{} / {}", *line.job, *line.step);
        return std::string(*line.step);
    }
    const std::string_view m = text::trim(line.message);
    if (text::starts_with_any(m, {"Run ", "Post ", "Complete job", "Set up job", "Prepare "})) return std::string(m);
    return std::nullopt;
}

bool is_warning_line(std::string_view line) {
    return text::starts_with_any(text::trim(line), {"::warning", "##[warning]", "Warning:", "WARNING:"});
}

bool is_failure_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (text::starts_with_any(t, {"::error", "##[error]"})) return true;
    if (text::starts_with_any_ignore_case(t, {"error:", "failed", "fatal:"})) return true;
    return kFailurePhrases.found_in(t);
}

bool is_important_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (is_warning_line(t) || is_failure_line(t)) return true;
    if (kCompletionPhrases.found_in(t) || kReferencePhrases.found_in(t)) return true;
    if (t.find_first_of("/\\") != std::string_view::npos && kReportFileSuffixes.found_in(t)) return true;
    return is_source_location(t);
}

}  // namespace filters::ci_job_log::summary
