// Test-run detection: which of twelve runners printed a text, and whether
// the run failed.
#pragma once

#include <optional>
#include <string_view>

#include "text.h"

namespace filters::test_runner::detector {

// The runners in the order in which they are tried.
enum class TestRunnerKind {
    pytest,
    unittest,
    vitest,
    playwright,
    cargo,
    go,
    jest,
    maven_surefire,
    gradle_test,
    dotnet_test,
    rspec,
    minitest,
};

struct TestRun {
    TestRunnerKind kind;
    bool failed;
};

// The name under which a runner is printed ("maven-surefire", ...).
std::string_view runner_name(TestRunnerKind kind);

// Nothing when the lines are no test run.
std::optional<TestRun> detect_test_run(const text::LineIndex& lines);

// "passed", "failed", "flaky", "skipped", "interrupted", "timed out" or
// "did not run" for a trimmed line such as "3 passed (4.2s)".
std::optional<std::string_view> playwright_summary_status(std::string_view line);

// A full Surefire count line "Tests run: 3, Failures: 0, Errors: 0,
// Skipped: 0", after an optional "[ERROR] " mark, in any letter case.
bool is_maven_surefire_summary_line(std::string_view line);

}  // namespace filters::test_runner::detector
