// The phrases that say "this text belongs to another filter": each marks
// the input of the filter named beside it, and the ownership guards of
// other families decline a text that holds it (the headlines that filters
// print, which the guards read too, are `filters::headline`). Written once
// here, with the letter case and the place in which each guard reads them,
// so that the guards agree on their spelling.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace filters::owned {

// Where and in which letter case a guard finds a phrase.
enum class Rule : std::uint8_t {
    // Anywhere in the text, ASCII case ignored: written in lower case, as
    // the guards that lowercase their text search it.
    anywhere_any_case,
    // Anywhere in the text, in this letter case.
    anywhere_this_case,
    // At the start of a line trimmed of its blanks, in this letter case.
    line_start,
};

struct Phrase {
    std::string_view text;
    std::string_view owner;  // the filter whose input it marks
    Rule rule;
};

// Anywhere, ASCII case ignored.
inline constexpr Phrase kTracebackHeader{"traceback (most recent call last)", "traceback", Rule::anywhere_any_case};
inline constexpr Phrase kTracebackHeaderWithColon{"traceback (most recent call last):", "traceback",
                                                  Rule::anywhere_any_case};
inline constexpr Phrase kPytestBanner{"test session starts", "test-runner", Rule::anywhere_any_case};
inline constexpr Phrase kPytestSummary{"short test summary info", "test-runner", Rule::anywhere_any_case};
inline constexpr Phrase kPytest{"pytest", "test-runner", Rule::anywhere_any_case};
inline constexpr Phrase kCargoTestResult{"test result:", "test-runner", Rule::anywhere_any_case};
inline constexpr Phrase kGitDiff{"diff --git ", "diff", Rule::anywhere_any_case};
inline constexpr Phrase kCouldNotCompile{"could not compile", "build-compiler", Rule::anywhere_any_case};

// Anywhere, in this letter case.
inline constexpr Phrase kTracebackHeaderAsPrinted{"Traceback (most recent call last):", "traceback",
                                                  Rule::anywhere_this_case};
inline constexpr Phrase kCiCommand{"##[", "ci-job-log", Rule::anywhere_this_case};

// At the start of a trimmed line, in this letter case.
inline constexpr Phrase kGitDiffLine{"diff --git ", "diff", Rule::line_start};
inline constexpr Phrase kIndexLine{"Index: ", "diff", Rule::line_start};
inline constexpr Phrase kHunkLine{"@@ ", "diff", Rule::line_start};
// A diff's two file header lines, which mark it only together.
inline constexpr Phrase kOldFileLine{"--- ", "diff", Rule::line_start};
inline constexpr Phrase kNewFileLine{"+++ ", "diff", Rule::line_start};
// The headers that compiler output is told from (build-compiler, which also
// looks for them anywhere in the head of a text).
inline constexpr Phrase kCombinedDiffLine{"diff --cc ", "diff", Rule::line_start};
inline constexpr Phrase kHunkRangeLine{"@@ -", "diff", Rule::line_start};
inline constexpr Phrase kTestFilesLine{"Test Files", "test-runner", Rule::line_start};
inline constexpr Phrase kTestsLine{"Tests", "test-runner", Rule::line_start};
inline constexpr Phrase kFailLine{"FAIL ", "test-runner", Rule::line_start};
inline constexpr Phrase kTestResultLine{"test result:", "test-runner", Rule::line_start};
inline constexpr Phrase kCiCommandLine{"##[", "ci-job-log", Rule::line_start};
inline constexpr Phrase kCiGroupLine{"::group::", "ci-job-log", Rule::line_start};
inline constexpr Phrase kCiEndGroupLine{"::endgroup::", "ci-job-log", Rule::line_start};
inline constexpr Phrase kCiErrorLine{"::error", "ci-job-log", Rule::line_start};
inline constexpr Phrase kCiWarningLine{"::warning", "ci-job-log", Rule::line_start};

// The table: every phrase above, once.
inline constexpr std::array<Phrase, 26> kPhrases = {
    kTracebackHeader,
    kTracebackHeaderWithColon,
    kPytestBanner,
    kPytestSummary,
    kPytest,
    kCargoTestResult,
    kGitDiff,
    kCouldNotCompile,
    kTracebackHeaderAsPrinted,
    kCiCommand,
    kGitDiffLine,
    kIndexLine,
    kHunkLine,
    kOldFileLine,
    kNewFileLine,
    kCombinedDiffLine,
    kHunkRangeLine,
    kTestFilesLine,
    kTestsLine,
    kFailLine,
    kTestResultLine,
    kCiCommandLine,
    kCiGroupLine,
    kCiEndGroupLine,
    kCiErrorLine,
    kCiWarningLine,
};

// The lists that several guards read whole, in the order they read them.

// Other filters' input anywhere in a log (generic-log, log-template,
// repeated-diagnostic), ASCII case ignored.
inline constexpr std::array<std::string_view, 5> kLogGuardPhrases = {
    kTracebackHeader.text, kPytestSummary.text, kGitDiff.text, kPytest.text, kPytestBanner.text,
};

// A test run or a traceback anywhere in compiler output (build-compiler),
// ASCII case ignored.
inline constexpr std::array<std::string_view, 4> kTestClaims = {
    kPytestBanner.text,
    kPytestSummary.text,
    kCargoTestResult.text,
    kTracebackHeader.text,
};

// Line starts that alone show a diff, a test run or a CI log
// (log-template, repeated-diagnostic; generic-log reads the last nine).
inline constexpr std::array<std::string_view, 12> kForeignLineStarts = {
    kGitDiffLine.text, kIndexLine.text,      kHunkLine.text,       kTestFilesLine.text,
    kTestsLine.text,   kFailLine.text,       kTestResultLine.text, kCiCommandLine.text,
    kCiGroupLine.text, kCiEndGroupLine.text, kCiErrorLine.text,    kCiWarningLine.text,
};

// Whether the table holds `text` with `rule`.
constexpr bool in_table(std::string_view text, Rule rule) {
    for (const Phrase& p : kPhrases)
        if (p.text == text && p.rule == rule) return true;
    return false;
}

// Whether every phrase read without case is written in lower case, as the
// guards that search lowercased text need.
constexpr bool any_case_phrases_are_lower_case() {
    for (const Phrase& p : kPhrases)
        if (p.rule == Rule::anywhere_any_case)
            for (char c : p.text)
                if (c >= 'A' && c <= 'Z') return false;
    return true;
}
static_assert(any_case_phrases_are_lower_case());

}  // namespace filters::owned
