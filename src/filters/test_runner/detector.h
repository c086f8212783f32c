// Test-run detection: which of twelve runners printed a text, and whether
// the run failed.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

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
std::optional<TestRun> detect_test_run(const std::vector<std::string_view>& lines);

// The same for the lines of a text: the text without one final "\n", split
// at every "\n".
std::optional<TestRun> detect_test_run_in_text(std::string_view text);

// "passed", "failed", "flaky", "skipped", "interrupted", "timed out" or
// "did not run" for a trimmed line such as "3 passed (4.2s)".
std::optional<std::string_view> playwright_summary_status(std::string_view line);

// Some occurrence of `label` is followed, after whitespace, by a count
// greater than zero ("failures: 2").
bool contains_nonzero_label_count(std::string_view text, std::string_view label);

// Some token equal to `label` directly follows a count greater than zero
// ("1 failures"). Tokens are compared alphanumeric-trimmed; a label token
// that ends in ":" introduces the count after it and is not counted here.
bool contains_nonzero_count_before_label(std::string_view text, std::string_view label);

// A full Surefire count line "Tests run: 3, Failures: 0, Errors: 0,
// Skipped: 0", after an optional "[ERROR] " mark, in any letter case.
bool is_maven_surefire_summary_line(std::string_view line);

}  // namespace filters::test_runner::detector
