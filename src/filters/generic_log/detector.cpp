#include "filters/generic_log/detector.h"

#include <array>
#include <cstdint>
#include <string>

#include "filters/generic_log/summary.h"
#include "text.h"

namespace filters::generic_log::detector {

using types::CountedPattern;
using types::GenericLog;
using types::PatternKey;

namespace {

constexpr std::size_t kMinNonblankLines = 12;
constexpr std::size_t kMinParsedLines = 8;
constexpr std::uint64_t kMinFoldableLines = 5;

// Headlines of earlier filters and words of test and diff output. None
// holds a line end, and a trimmed line ends in no blank, so looking in each
// line is looking in all of them joined.
constexpr summary::WordSet<7> kForeignMarkers({
    "test output:", "ci log:", "python traceback:", "traceback (most recent call last)", "test session starts",
    "short test summary info", "diff --git ",
});
constexpr summary::WordSet<1> kPytest({"pytest"});

constexpr summary::WordSet<12> kBuildOrPackageMarkers({
    "compiling ", "checking ", "finished ", "could not compile", "error[", "warning[", "downloading ", "downloaded ",
    "installing collected packages", "successfully installed", "added ", "packages audited",
});

template <std::size_t N>
bool any_line_contains(const std::vector<std::string_view>& lines, const summary::WordSet<N>& words) {
    for (std::string_view line : lines)
        if (words.found_in(line)) return true;
    return false;
}

bool is_json_record_line(std::string_view line) {
    return line.starts_with('{') && line.ends_with('}') && text::contains(line, ":");
}

bool looks_like_test_runner_output(const std::vector<std::string_view>& lines) {
    bool ran_tests = false;
    bool verdict = false;
    for (std::string_view line : lines) {
        if (line.starts_with("Test Files") || line.starts_with("Tests") || line.starts_with("FAIL ") ||
            line.starts_with("test result:"))
            return true;
        if (line.starts_with("Running ") && text::contains(line, " tests using ")) return true;
        if (line.starts_with("Ran ") && text::contains(line, " tests in ")) ran_tests = true;
        if (line == "OK" || line.starts_with("FAILED (")) verdict = true;
    }
    return ran_tests && verdict;
}

bool looks_like_ci_output(const std::vector<std::string_view>& lines) {
    for (std::string_view line : lines) {
        if (line.starts_with("##[") || line.starts_with("::group::") || line.starts_with("::endgroup::") ||
            line.starts_with("::error") || line.starts_with("::warning"))
            return true;
        // A tab-separated step log with ISO timestamps.
        if (text::contains(line, "\t") && text::contains(line, "T") && text::contains(line, "Z ")) return true;
    }
    return false;
}

bool is_table_rule(std::string_view line) { return line.find_first_not_of("+|-") == std::string_view::npos; }

bool looks_like_table(const std::vector<std::string_view>& lines) {
    std::uint64_t pipe_lines = 0;
    bool has_rule = false;
    for (std::string_view line : lines) {
        if (text::contains(line, "|")) ++pipe_lines;
        if (is_table_rule(line)) has_rule = true;
    }
    return pipe_lines >= 3 && (has_rule || pipe_lines * 100 >= lines.size() * 55);
}

bool is_all_digits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// "path:12:..." or "path:fn:12...": a path-like first field and a line
// number in the second or third field.
bool is_path_location(std::string_view line) {
    std::size_t first = line.find(':');
    if (first == std::string_view::npos) return false;
    std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::size_t third = line.find(':', second + 1);
    std::string_view path = line.substr(0, first);
    std::string_view field2 = line.substr(first + 1, second - first - 1);
    std::string_view field3 = line.substr(second + 1, third == std::string_view::npos ? std::string_view::npos
                                                                                       : third - second - 1);
    return (is_all_digits(field2) || is_all_digits(field3)) && path.find_first_of("/.") != std::string_view::npos;
}

}  // namespace

bool looks_like_path_location_output(const std::vector<std::string_view>& lines) {
    std::uint64_t locations = 0;
    for (std::string_view line : lines)
        if (is_path_location(line)) ++locations;
    return locations >= 2 && locations * 100 >= lines.size() * 45;
}

bool looks_like_build_or_package_output(const std::vector<std::string_view>& lines) {
    if (!any_line_contains(lines, kBuildOrPackageMarkers)) return false;
    for (std::string_view line : lines)
        if (summary::parse_log_line(line)) return false;
    return true;
}

std::optional<GenericLog> detect_generic_log(const std::vector<std::string_view>& lines) {
    std::vector<std::string_view> nonblank;
    for (std::string_view line : lines) {
        std::string_view t = text::trim(line);
        if (!t.empty()) nonblank.push_back(t);
    }
    if (nonblank.empty()) return std::nullopt;
    const std::uint64_t nonblank_count = nonblank.size();

    if (any_line_contains(nonblank, kForeignMarkers)) return std::nullopt;
    // A log that shows a credential is left whole: folding would print the
    // secret inside a pattern line as if it were routine.
    for (std::string_view line : nonblank)
        if (text::has_secret_like_key(line)) return std::nullopt;

    std::uint64_t json_lines = 0;
    for (std::string_view line : nonblank)
        if (is_json_record_line(line)) ++json_lines;
    if (json_lines * 100 >= nonblank_count * 70) return std::nullopt;

    if (any_line_contains(nonblank, kPytest)) return std::nullopt;
    if (looks_like_test_runner_output(nonblank)) return std::nullopt;
    if (looks_like_ci_output(nonblank)) return std::nullopt;
    if (looks_like_table(nonblank)) return std::nullopt;
    if (looks_like_path_location_output(nonblank)) return std::nullopt;
    if (looks_like_build_or_package_output(nonblank)) return std::nullopt;
    if (nonblank_count < kMinNonblankLines) return std::nullopt;

    std::uint64_t parsed = 0;
    for (std::string_view line : lines)
        if (summary::parse_log_line(line)) ++parsed;
    if (parsed < kMinParsedLines || parsed * 100 < nonblank_count * 65) return std::nullopt;

    GenericLog log;
    log.line_patterns.reserve(lines.size());
    std::uint64_t total = 0;
    for (std::string_view line : lines) {
        const CountedPattern* counted = nullptr;
        auto entry = summary::parse_log_line(line);
        if (entry && summary::is_low_severity(entry->level) && !summary::is_important_line(line, entry)) {
            PatternKey key{entry->level, summary::normalized_message_pattern(*entry)};
            auto it = log.pattern_counts.try_emplace(std::move(key), 0).first;
            // A key's lines all count once it reaches the threshold.
            if (++it->second == types::kMinRepeatsPerPattern) total += types::kMinRepeatsPerPattern;
            else if (it->second > types::kMinRepeatsPerPattern) ++total;
            counted = &*it;
        }
        log.line_patterns.push_back(counted);
    }
    if (total < kMinFoldableLines) return std::nullopt;
    return log;
}

}  // namespace filters::generic_log::detector
