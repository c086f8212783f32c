// Summary line classifiers: the count and result lines that test runners
// print at the end of a run, the one-line collapse of a unittest progress
// line, and the form in which a kept line is written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "filters/test_runner/classifiers.h"

namespace filters::test_runner::summary {

// A final count or result line of any of the twelve runners.
bool is_summary_line(std::string_view line);

// "Running 24 tests using 4 workers".
bool is_playwright_run_line(std::string_view line);

// Runner-specific summary tests, each given a trimmed line. The Maven test
// here is wider than the detector's rule of the same name.
bool is_maven_surefire_summary_line(std::string_view s);
bool is_gradle_test_summary_line(std::string_view s);
bool is_dotnet_test_summary_line(std::string_view s);
bool is_rspec_summary_line(std::string_view s);
bool is_minitest_summary_line(std::string_view s);

// A line of at least 20 unittest progress markers, and its one-line count.
bool is_unittest_progress_line(std::string_view line);
std::string collapse_unittest_progress_line(std::string_view line);

// A selected line as it is kept: trimmed, and a browser-run failure header
// or attachment line without its trailing rule of box-drawing characters.
std::string normalize_selected_line(std::string_view line);

// The project name of a browser-run result row "[firefox] › title".
std::optional<std::string> extract_playwright_project(std::string_view line);

// Shapes that the detector recognises too, each given a trimmed line.
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
// "Passed: 3" and its kin, an empty count included.
bool is_dotnet_label_count_line(std::string_view t);

}  // namespace filters::test_runner::summary
