#include "filters/test_runner/detector.h"

#include <array>
#include <string>

#include "filters/test_runner/shapes.h"
#include "filters/test_runner/summary.h"
#include "text.h"

namespace filters::test_runner::detector {

using namespace shapes;
using Lines = std::vector<std::string_view>;
using LineTest = bool (*)(std::string_view);

namespace {

bool some_line(const Lines& lines, LineTest test) {
    for (std::string_view line : lines)
        if (test(line)) return true;
    return false;
}

// Both halves of a rule hold, on the same line or on different ones.
bool some_lines(const Lines& lines, LineTest first, LineTest second) {
    return some_line(lines, first) && some_line(lines, second);
}

// "..F.s" alone or followed by a bracketed percentage "[ 50%]".
bool is_pytest_progress_line(std::string_view t) {
    if (t.empty()) return false;
    std::string_view token = t, rest;
    if (auto split = text::split_once_whitespace(t)) {
        token = split->first;
        rest = text::trim(split->second);
    }
    if (token.empty() || token.find_first_not_of(".EFXfsx") != std::string_view::npos) return false;
    if (rest.empty()) return true;
    if (rest.size() < 2 || rest.front() != '[' || rest.back() != ']') return false;
    std::string_view inner = text::trim(rest.substr(1, rest.size() - 2));
    return inner.size() >= 2 && inner.back() == '%' && is_digit_run(inner.substr(0, inner.size() - 1));
}

bool is_pytest_second_rule_partner(std::string_view t) {
    if (summary::is_pytest_count_line(t) || t.starts_with("ERROR ")) return true;
    // "FAILED (failures=1)" closes a failing unittest run, not a pytest one.
    if (t.starts_with("FAILED ") && !t.starts_with("FAILED (")) return true;
    return text::contains_ignore_case(t, "short test summary info");
}

bool is_unittest_result_line(std::string_view t) {
    if (t.size() >= 5 && t.find_first_not_of('-') == std::string_view::npos) return true;
    if (t.size() >= 3 && t.find_first_not_of(".EFSUXsux") == std::string_view::npos) return true;
    if (starts_with_any(t, {"FAIL:", "ERROR:"})) return true;
    std::size_t at = t.rfind(" ... ");
    if (at == std::string_view::npos) return false;
    std::string_view before = t.substr(0, at);
    if (text::trim(before).empty() || !text::contains(before, "(") || !text::contains(before, ")")) return false;
    std::string_view after = text::trim(t.substr(at + 5));
    return equals_any(after, {"ok", "FAIL", "ERROR"}) ||
           starts_with_any(after, {"skipped", "expected failure", "unexpected success"});
}

bool is_dotnet_result_line(std::string_view t) {
    return starts_with_any(t, {"Passed!", "Failed!", "Total tests:"}) || summary::is_dotnet_label_count_line(t);
}

bool recognises(TestRunnerKind kind, const Lines& raw, const Lines& lines) {
    switch (kind) {
        case TestRunnerKind::pytest: {
            bool session =
                some_line(lines, [](std::string_view t) { return text::contains(t, "test session starts"); });
            if (session && some_line(lines, [](std::string_view t) {
                    return t.starts_with("collected ") || summary::is_pytest_banner_line(t);
                }))
                return true;
            return some_lines(lines, is_pytest_progress_line, is_pytest_second_rule_partner);
        }
        case TestRunnerKind::unittest:
            return some_line(lines, [](std::string_view t) { return summary::is_unittest_total_line(t, 1); }) &&
                   some_line(lines,
                             [](std::string_view t) {
                                 return t == "OK" || starts_with_any(t, {"OK (", "FAILED ("});
                             }) &&
                   some_line(lines, is_unittest_result_line);
        case TestRunnerKind::vitest:
            return some_line(raw, [](std::string_view line) { return text::trim_start(line).starts_with("RUN "); }) &&
                   some_line(lines, [](std::string_view t) {
                       return starts_with_any(t, {"Test Files", "Tests", "FAIL "});
                   });
        case TestRunnerKind::playwright:
            return some_lines(lines, summary::is_playwright_run_line,
                              [](std::string_view t) { return playwright_summary_status(t).has_value(); });
        case TestRunnerKind::cargo:
            return some_lines(lines, summary::is_cargo_running_line,
                              [](std::string_view t) { return t.starts_with("test result:"); });
        case TestRunnerKind::go:
            return some_line(lines, summary::is_go_package_line) ||
                   some_lines(
                       lines, [](std::string_view t) { return t.starts_with("=== RUN "); },
                       summary::is_go_test_result_line);
        case TestRunnerKind::jest:
            return some_lines(
                lines,
                [](std::string_view t) {
                    return starts_with_any(t, {"PASS ", "FAIL "});
                },
                [](std::string_view t) {
                    return starts_with_any(t, {"Test Suites:", "Tests:", "Snapshots:", "Time:"});
                });
        case TestRunnerKind::maven_surefire:
            return some_line(lines, is_maven_surefire_summary_line);
        case TestRunnerKind::gradle_test:
            return some_lines(
                lines,
                [](std::string_view t) {
                    return starts_with_any(t, {"> Task ", "Gradle Test Executor", "Test worker"}) ||
                           text::contains_ignore_case(t, "test report");
                },
                summary::is_gradle_completion_line);
        case TestRunnerKind::dotnet_test:
            return some_lines(
                lines,
                [](std::string_view t) {
                    return starts_with_any(t, {"Test run for ", "Starting test execution"}) ||
                           text::contains_ignore_case(t, "vstest");
                },
                is_dotnet_result_line);
        case TestRunnerKind::rspec:
            return has_rspec_shape(lines);
        case TestRunnerKind::minitest:
            return has_minitest_shape(lines);
    }
    return false;
}

// Failure marks that hold for every runner.
bool is_failure_for_every_runner(std::string_view t) {
    if (starts_with_any(t, {"FAILED ", "FAIL ", "FAIL:", "ERROR:", "failures:", "test result: FAILED"})) return true;
    if (contains_spaced(t, " FAILURES ")) return true;
    if (summary::is_unittest_verbose_failure_line(t)) return true;
    return text::contains(t, "failed") && contains_nonzero_count_before_label(t, "failed");
}

bool is_pytest_failure(std::string_view t) {
    return text::contains(t, "error") &&
           (contains_nonzero_count_before_label(t, "error") || contains_nonzero_count_before_label(t, "errors"));
}

bool is_playwright_failure(std::string_view t) {
    if (std::optional<std::string_view> status = playwright_summary_status(t)) {
        if (is_positive_count(text::split_whitespace(t).front(), true) &&
            equals_any(*status, {"interrupted", "timed out", "failed"}))
            return true;
    }
    if (summary::is_playwright_numbered_failure_line(t)) return true;
    if (starts_with_any(t, {kBallotX, kTimesSign}) && text::contains(t, kTitleSeparator)) return true;
    return starts_with_any(t, {"Test timeout", "TimeoutError:"});
}

// Marks for the runners whose summaries count failures and errors by label.
// A test named "retries failed payments" or a Surefire line reporting
// "Failures: 0" is no failure: only a non-zero count marks one.
bool is_labelled_count_failure(std::string_view t) {
    if (starts_with_any(t, {"--- FAIL:", "FAIL", "Failed!", "Failed tests:", "Failures:", "Test Failed.", "[ERROR]"}))
        return true;
    if (contains_spaced(t, " FAILED")) return true;
    if (!text::contains_ignore_case(t, "fail") && !text::contains_ignore_case(t, "error") &&
        !contains_spaced(t, " examples, ", true))
        return false;
    std::string lc = text::to_lower(t);
    for (std::string_view label : {"failures:", "errors:", "failed:"})
        if (contains_nonzero_label_count(lc, label)) return true;
    if (std::size_t at = lc.find(" examples, "); at != std::string::npos) {
        std::vector<std::string_view> tokens = text::split_whitespace(std::string_view(lc).substr(at + 11));
        if (!tokens.empty() && is_positive_count(tokens[0], true)) return true;
    }
    return contains_nonzero_count_before_label(lc, "failures") || contains_nonzero_count_before_label(lc, "errors");
}

bool run_failed(TestRunnerKind kind, const Lines& lines) {
    bool labelled = kind == TestRunnerKind::go || kind == TestRunnerKind::jest ||
                    kind == TestRunnerKind::maven_surefire || kind == TestRunnerKind::gradle_test ||
                    kind == TestRunnerKind::dotnet_test || kind == TestRunnerKind::rspec ||
                    kind == TestRunnerKind::minitest;
    for (std::string_view t : lines) {
        if (is_failure_for_every_runner(t)) return true;
        if (kind == TestRunnerKind::pytest && is_pytest_failure(t)) return true;
        if (kind == TestRunnerKind::playwright && is_playwright_failure(t)) return true;
        if (labelled && is_labelled_count_failure(t)) return true;
    }
    return false;
}

constexpr std::array<TestRunnerKind, 12> kOrder{
    TestRunnerKind::pytest,      TestRunnerKind::unittest,    TestRunnerKind::vitest, TestRunnerKind::playwright,
    TestRunnerKind::cargo,       TestRunnerKind::go,          TestRunnerKind::jest,   TestRunnerKind::maven_surefire,
    TestRunnerKind::gradle_test, TestRunnerKind::dotnet_test, TestRunnerKind::rspec,  TestRunnerKind::minitest,
};

}  // namespace

std::string_view runner_name(TestRunnerKind kind) {
    switch (kind) {
        case TestRunnerKind::pytest:
            return "pytest";
        case TestRunnerKind::unittest:
            return "unittest";
        case TestRunnerKind::vitest:
            return "vitest";
        case TestRunnerKind::playwright:
            return "playwright";
        case TestRunnerKind::cargo:
            return "cargo";
        case TestRunnerKind::go:
            return "go";
        case TestRunnerKind::jest:
            return "jest";
        case TestRunnerKind::maven_surefire:
            return "maven-surefire";
        case TestRunnerKind::gradle_test:
            return "gradle-test";
        case TestRunnerKind::dotnet_test:
            return "dotnet-test";
        case TestRunnerKind::rspec:
            return "rspec";
        case TestRunnerKind::minitest:
            return "minitest";
    }
    return "";
}

std::optional<TestRun> detect_test_run(const std::vector<std::string_view>& raw) {
    if (raw.empty()) return std::nullopt;
    Lines lines;
    lines.reserve(raw.size());
    for (std::string_view line : raw) lines.push_back(text::trim(line));
    for (TestRunnerKind kind : kOrder)
        if (recognises(kind, raw, lines)) return TestRun{kind, run_failed(kind, lines)};
    return std::nullopt;
}

bool has_rspec_shape(const std::vector<std::string_view>& lines) {
    return some_lines(lines, summary::is_rspec_count_line, [](std::string_view t) {
        return starts_with_any(t, {"Failures:", "Pending:", "Finished in "}) || has_numbered_paren_head(t);
    });
}

bool has_minitest_shape(const std::vector<std::string_view>& lines) {
    return some_lines(lines, summary::is_minitest_summary_line, [](std::string_view t) {
        return t.starts_with("Run options:") ||
               (t.size() >= 3 && t.find_first_not_of(".EFS") == std::string_view::npos);
    });
}

std::optional<std::string_view> playwright_summary_status(std::string_view line) {
    if (line.empty() || (!text::is_ascii_digit(line.front()) && line.front() != '+')) return std::nullopt;
    std::vector<std::string_view> tokens = text::split_whitespace(line);
    if (tokens.size() < 2 || !text::parse_unsigned(tokens[0])) return std::nullopt;
    std::string_view label;
    std::size_t used = 2;
    if (tokens[1] == "did") {
        if (tokens.size() < 4 || tokens[2] != "not" || tokens[3] != "run") return std::nullopt;
        label = "did not run";
        used = 4;
    } else if (tokens[1] == "timed") {
        if (tokens.size() < 3 || tokens[2] != "out") return std::nullopt;
        label = "timed out";
        used = 3;
    } else {
        static constexpr std::array<std::string_view, 5> words{"flaky", "passed", "failed", "skipped", "interrupted"};
        for (std::string_view w : words)
            if (tokens[1] == w) label = w;
        if (label.empty()) return std::nullopt;
    }
    if (tokens.size() == used) return label;
    if (tokens.size() == used + 1 && tokens[used].starts_with("(") && tokens[used].ends_with(")")) return label;
    return std::nullopt;
}

bool contains_nonzero_label_count(std::string_view text_, std::string_view label) {
    if (label.empty()) return false;
    std::size_t at = text_.find(label);
    while (at != std::string_view::npos) {
        std::size_t next = text_.find(label, at + label.size());
        std::string_view after = text::trim_start(text_.substr(
            at + label.size(), next == std::string_view::npos ? std::string_view::npos : next - at - label.size()));
        std::size_t digits = 0;
        while (digits < after.size() && text::is_ascii_digit(after[digits])) ++digits;
        if (is_positive_count(after.substr(0, digits))) return true;
        at = next;
    }
    return false;
}

bool contains_nonzero_count_before_label(std::string_view text_, std::string_view label) {
    std::vector<std::string_view> tokens = text::split_whitespace(text_);
    for (std::size_t k = 1; k < tokens.size(); ++k) {
        // "Tests run: 3, Failures: 0": the 3 belongs to "run:", and the
        // colon says that the label's own count comes after it.
        if (tokens[k].ends_with(":")) continue;
        if (alnum_trim(tokens[k]) == label && is_positive_count(alnum_trim(tokens[k - 1]))) return true;
    }
    return false;
}

bool is_maven_surefire_summary_line(std::string_view line) {
    std::string_view rest = line;
    if (text::starts_with_ignore_case(rest, "[error] ")) rest.remove_prefix(8);
    return text::starts_with_ignore_case(rest, "tests run:") && text::contains_ignore_case(rest, "failures:") &&
           text::contains_ignore_case(rest, "errors:") && text::contains_ignore_case(rest, "skipped:");
}

}  // namespace filters::test_runner::detector
