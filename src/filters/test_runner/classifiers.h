// Failure-detail line classifiers: the lines of a failure report that a
// failed test run keeps (assertion messages, exception headlines, expected
// and received values, frames, source locations, runner markers).
#pragma once

#include <string_view>

namespace filters::test_runner::summary {

// A raw line of a failure report.
bool is_failure_detail_line(std::string_view line);

// Runner-specific tests, each given a trimmed line.
bool is_unittest_verbose_failure_line(std::string_view s);
bool is_python_frame_line(std::string_view s);
bool is_python_exception_line(std::string_view s);
bool is_java_exception_line(std::string_view s);
bool is_dotnet_failure_line(std::string_view s);
bool is_rspec_failure_line(std::string_view s);
bool is_minitest_failure_line(std::string_view s);
bool is_assert_or_raise_source_line(std::string_view s);
bool is_playwright_failure_detail_line(std::string_view s);

bool is_playwright_numbered_failure_line(std::string_view s);
bool is_playwright_action_line(std::string_view s);
bool is_playwright_source_focus_line(std::string_view s);
bool looks_like_artifact_path(std::string_view s);

// "path:line" and its kin: src/app.py:12, C:\work\a.rs:3:9, pkg.mod::func.
bool looks_like_path_location(std::string_view s);

// Retry notes and project-bracketed result rows of a passing browser run.
bool is_playwright_attention_line(std::string_view line);

// A code-frame line "  12 | source" once its leading ">" is gone.
bool is_jest_numbered_context(std::string_view s);

}  // namespace filters::test_runner::summary
