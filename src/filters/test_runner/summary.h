// The line classifiers with which the filter chooses what it keeps of a test
// run: the count and result lines that runners print at the end of a run,
// the lines of a failure report, the one-line collapse of a unittest
// progress line, and the form in which a kept line is written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::test_runner::summary {

// ---------------------------------------------------------- phrase scan --

// Whether a line holds each of the phrases that the classifiers below look
// for anywhere in it. A line that lacks one skips the tests that need it;
// the default, every phrase present, runs all tests.
struct LinePhrases {
    bool report = true;     // "report", in any letter case
    bool completed = true;  // "completed", in any letter case
    bool failure = true;    // "failure", in any letter case
    bool failed = true;     // "FAILED"
    bool surefire = true;   // "surefire-reports"
};

// The phrases of the lines of one text, each phrase looked for once in the
// whole text rather than once in every line: linear in the text, however
// often or seldom the phrases occur.
class PhraseScan {
public:
    explicit PhraseScan(std::string_view text);

    // The phrases of `line`, a line of the text (a view into it). Lines are
    // asked in the text's order. Most lines end before the next occurrence
    // of every phrase: they are answered here, with no call.
    LinePhrases of(std::string_view line) {
        const auto end = static_cast<std::size_t>(line.data() - text_.data()) + line.size();
        if (end <= nearest_) return LinePhrases{false, false, false, false, false};
        return of_line_past_an_occurrence(line);
    }

private:
    struct Cursor {
        std::size_t size;                                          // of the phrase
        std::size_t (*find)(std::string_view text, std::size_t from);  // npos when there is none
        std::size_t next;  // the first occurrence at or after the last line asked
    };
    std::string_view text_;
    Cursor report_, completed_, failure_, failed_, surefire_;
    std::size_t nearest_ = 0;  // the least `next` of the cursors

    bool holds(Cursor& cursor, std::size_t begin, std::size_t end) const;
    LinePhrases of_line_past_an_occurrence(std::string_view line);
};

// ------------------------------------------------------------ summary side --

// A final count or result line of any of the twelve runners.
bool is_summary_line(std::string_view line, const LinePhrases& phrases = {});

// "Running 24 tests using 4 workers".
bool is_playwright_run_line(std::string_view line);

// A line of at least 20 unittest progress markers, and its one-line count.
bool is_unittest_progress_line(std::string_view line);
std::string collapse_unittest_progress_line(std::string_view line);

// A selected line as it is kept: trimmed, and a browser-run failure header
// or attachment line without its trailing rule of box-drawing characters.
std::string_view normalize_selected_line(std::string_view line);

// The project name of a browser-run result row "[firefox] › title".
std::optional<std::string_view> extract_playwright_project(std::string_view line);

// Count and result lines that the detector recognises too, each given a
// trimmed line.
// "===== 2 passed in 0.10s =====".
bool is_pytest_banner_line(std::string_view t);
// "1 failed, 2 passed, 3 warnings in 0.12s" and "no tests ran in 0.01s".
bool is_pytest_count_line(std::string_view t);
// "running 12 tests".
bool is_cargo_running_line(std::string_view t);
// "--- FAIL: TestParse (0.00s)".
bool is_go_test_result_line(std::string_view t);
// "ok  mod/calc  0.012s" and "?  mod/cmd  [no test files]".
bool is_go_package_line(std::string_view t);
// "Ran 14 tests in 0.031s"; `min_seconds_size` 1 also lets a bare "s" in.
bool is_unittest_total_line(std::string_view t, std::size_t min_seconds_size);
// "3 tests completed" and "3 tests completed, 1 failed".
bool is_gradle_completion_line(std::string_view t);
// "6 examples, 1 failure".
bool is_rspec_count_line(std::string_view t);
// "3 runs, 3 assertions, 0 failures, 0 errors".
bool is_minitest_summary_line(std::string_view t);
// "Passed: 3" and its kin, an empty count included.
bool is_dotnet_label_count_line(std::string_view t);

// ------------------------------------------------------- failure-detail side --

// A raw line of a failure report.
bool is_failure_detail_line(std::string_view line, const LinePhrases& phrases = {});

// is_summary_line || is_failure_detail_line, the line trimmed once.
bool is_summary_or_failure_detail_line(std::string_view line, const LinePhrases& phrases = {});

// Retry notes and project-bracketed result rows of a passing browser run.
bool is_playwright_attention_line(std::string_view line);

// A code-frame line "  12 | source" once its leading ">" is gone.
bool is_jest_numbered_context(std::string_view s);

// Failure lines that the detector reads too, each given a trimmed line.
// "test_sub (test_calc.CalcTest.test_sub) ... FAIL".
bool is_unittest_verbose_failure_line(std::string_view s);
// "1) [chromium] › a.spec.ts:3:5 › title".
bool is_playwright_numbered_failure_line(std::string_view s);

}  // namespace filters::test_runner::summary
