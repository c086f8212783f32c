#include "filters/generic_log/detector.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "filters/generic_log/summary.h"
#include "text.h"

namespace filters::generic_log::detector {

using types::GenericLog;
using types::PatternKey;
using types::PatternKeyHash;

namespace {

constexpr std::size_t kMinNonblankLines = 12;
constexpr std::size_t kMinParsedLines = 8;
constexpr std::uint64_t kMinRepeatsPerPattern = 3;
constexpr std::uint64_t kMinFoldableLines = 5;

// Headlines of earlier filters and words of test and diff output.
constexpr std::array<std::string_view, 7> kForeignMarkers = {
    "test output:",         "ci log:",      "python traceback:", "traceback (most recent call last)",
    "test session starts", "short test summary info", "diff --git ",
};

constexpr std::array<std::string_view, 12> kBuildOrPackageMarkers = {
    "compiling ",  "checking ",    "finished ", "could not compile", "error[", "warning[", "downloading ",
    "downloaded ", "installing collected packages", "successfully installed", "added ", "packages audited",
};

// The lowercase copy of one line, kept in a caller-owned buffer so that a
// scan over many lines allocates once.
std::string_view lowercase_into(std::string& buffer, std::string_view line) {
    buffer.assign(line);
    for (char& c : buffer) c = text::to_lower_ascii(c);
    return buffer;
}

template <std::size_t N>
bool any_line_contains_ignore_case(const std::vector<std::string_view>& lines,
                                   const std::array<std::string_view, N>& words) {
    std::string buffer;
    for (std::string_view line : lines) {
        std::string_view lower = lowercase_into(buffer, line);
        for (std::string_view word : words)
            if (text::contains(lower, word)) return true;
    }
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
    if (!any_line_contains_ignore_case(lines, kBuildOrPackageMarkers)) return false;
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

    if (any_line_contains_ignore_case(nonblank, kForeignMarkers)) return std::nullopt;

    std::uint64_t json_lines = 0;
    for (std::string_view line : nonblank)
        if (is_json_record_line(line)) ++json_lines;
    if (json_lines * 100 >= nonblank_count * 70) return std::nullopt;

    if (any_line_contains_ignore_case(nonblank, std::array<std::string_view, 1>{"pytest"})) return std::nullopt;
    if (looks_like_test_runner_output(nonblank)) return std::nullopt;
    if (looks_like_ci_output(nonblank)) return std::nullopt;
    if (looks_like_table(nonblank)) return std::nullopt;
    if (looks_like_path_location_output(nonblank)) return std::nullopt;
    if (looks_like_build_or_package_output(nonblank)) return std::nullopt;
    if (nonblank_count < kMinNonblankLines) return std::nullopt;

    GenericLog log;
    log.parsed_lines.reserve(lines.size());
    std::uint64_t parsed = 0;
    for (std::string_view line : lines) {
        log.parsed_lines.push_back(summary::parse_log_line(line));
        if (log.parsed_lines.back()) ++parsed;
    }
    if (parsed < kMinParsedLines || parsed * 100 < nonblank_count * 65) return std::nullopt;

    std::unordered_map<PatternKey, std::uint64_t, PatternKeyHash> counts;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& entry = log.parsed_lines[i];
        if (!entry || !summary::is_low_severity(entry->level) || summary::is_important_line(lines[i], entry)) continue;
        ++counts[PatternKey{entry->level, summary::normalized_message_pattern(*entry)}];
    }
    std::uint64_t total = 0;
    for (auto& [key, count] : counts) {
        if (count < kMinRepeatsPerPattern) continue;
        total += count;
        log.repeated_patterns.insert(key);
    }
    if (total < kMinFoldableLines) return std::nullopt;
    return log;
}

}  // namespace filters::generic_log::detector
