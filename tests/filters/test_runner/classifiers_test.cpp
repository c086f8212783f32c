#include <gtest/gtest.h>

#include <string>

#include "filters/test_runner/summary.h"

namespace {

using namespace filters::test_runner::summary;

struct LineCase {
    std::string line;
    bool want;
};

TEST(FailureDetailLine, KeepsReportLinesAndRejectsResultRows) {
    const LineCase cases[] = {
        {"FAILURE: Build failed with an exception.", true},
        {"FAILED tests/test_a.py::test_x - assert 1 == 2", true},
        {"tests::subtracts ... FAILED", true},
        {"_____ ERROR collecting tests/test_b.py _____", true},
        {"E       assert 8 == 2", true},
        {" E       assert 8 == 2", false},  // the raw line carries the indent
        {">       assert sub(5, 3) == 2", true},
        {"  left: 8", true},
        {" right: 2", true},
        {"File \"/tmp/a.py\", line 3, in test_x", true},
        {"ValueError: bad input", true},
        {"Value Error: bad input", false},
        {"java.lang.IllegalStateException: boom", true},
        {"Caused by: java.io.IOException", true},
        {"test_sub (test_calc.CalcTest.test_sub) ... FAIL", true},
        {"test_sub (test_calc.CalcTest.test_sub) ... ok", false},
        {"test_sub ... FAIL", false},  // no parentheses, no path
        {"1) Calculator adds", true},
        {"# ./spec/calc_spec.rb:12:in `block (2 levels) in <top (required)>'", true},
        {"test_sub(CalcTest) [test/calc_test.rb:9]:", true},
        {"  1) Failure:", true},
        {"Run options: --seed 4242", false},
        {"src/app.py:12", true},
        {"\xE2\x9D\xAF src/sum.test.ts:4:20", true},  // "❯" and a location
        {"http://localhost:8080", false},
        {"Error: 5", true},
        {"Note: 5", false},
        {"\xE2\x9C\x98  1 [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA title FAILED", false},
        {"  1) [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA title", true},
        {"test-results/a-chromium/test-failed-1.png", true},
        {"- waiting for locator('#go')", true},
        {"everything is fine", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_failure_detail_line(c.line), c.want) << c.line;
}

TEST(PathLocation, FirstNumericPieceDecides) {
    const LineCase cases[] = {
        {"src/app.py:12", true}, {"C:\\work\\a.rs:3:9", true},  {"pkg.mod::func", true},  {"tests/a.rs:", true},
        {"Error: 5", false},     {"http://host:8080/x", false}, {"no colon here", false}, {" a.py:3", false},
        {"a:b/c.py:7", true},    {"a: b:7:c.py", false},
    };
    for (const auto& c : cases) EXPECT_EQ(looks_like_path_location(c.line), c.want) << c.line;
}

TEST(SummaryLine, RunnerCountLines) {
    const LineCase cases[] = {
        {"no tests ran in 0.01s", true},
        {"1 failed, 2 passed, 3 warnings in 0.12s", true},
        {"===== 2 passed in 0.10s =====", true},
        {"2 passed, 1 deselected in 0.5s", false},
        {"1 passed in 0.5 seconds", false},
        {"ok  \texample.com/calc\t(cached)", false},
        {"?   \texample.com/cmd\t[no test files]", true},
        {"--- PASS: TestAdd", false},
        {"--- PASS: TestAdd (0.00s)", true},
        {"3 passed (4.2s)", true},
        {"1 flaky", true},
        {"2 did not run", true},
        {"1 timed out (30.0s)", true},
        {"3 passed (4.2s) extra", false},
        {"-3 passed", false},
        {"+3 passed", true},
        {"PASS", true},
        {"PASSED", false},
        {"Tests whatever", true},
        {"Passed:", true},
        {"Ran 14 tests in 0.031s", true},
        {"Ran 14 tests in s", false},
        {"running 1 test", true},
        {"[INFO] Tests run: 3, Failures: 0, Errors: 0, Skipped: 0", false},
        {"[ERROR] Tests run: 3, Failures: 1, Errors: 0, Skipped: 0", true},
        {"3 tests completed, 1 failed", true},
        {"3 examples, 0 failures", true},
        {"3 runs, 3 assertions, 0 failures, 0 errors, 0 skips", true},
        {"\xE2\x97\x8F Calc \xE2\x80\xBA adds", true},
        {"hello world", false},
        // Count lines read without regard to letter case, at any length.
        {"3 Examples, 1 FAILURE", true},
        {std::string(234, 'x') + " 3 examples, 1 failure", true},
        {std::string(235, 'x') + " 3 EXAMPLES, 1 failure", true},
        {std::string(5000, 'x') + " 3 runs, 3 assertions, 0 failures, 0 Errors", true},
        {std::string(5000, 'x') + " 3 runs, 3 assertions, 0 failures", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_summary_line(c.line), c.want) << c.line.substr(0, 40);
}

TEST(UnittestProgress, CollapseCounts) {
    EXPECT_FALSE(is_unittest_progress_line(std::string(19, '.')));
    EXPECT_TRUE(is_unittest_progress_line(std::string(20, '.')));
    EXPECT_FALSE(is_unittest_progress_line(std::string(20, '.') + "-"));
    EXPECT_EQ(collapse_unittest_progress_line(std::string(17, '.') + "FEs"),
              "progress: 20 unittest markers (17 passed, 1 skipped, 1 failed, 1 errors)");
    EXPECT_EQ(collapse_unittest_progress_line("xxUU"),
              "progress: 4 unittest markers (2 expected failures, 2 unexpected successes)");
    EXPECT_EQ(collapse_unittest_progress_line("--"), "progress: 2 unittest markers (markers only)");
}

TEST(SelectedLine, RuleCharactersOnlyAfterHeaders) {
    const std::pair<std::string, std::string> cases[] = {
        {"  1) [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA t \xE2\x94\x80\xE2\x94\x80",
         "1) [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA t"},
        {"attachment #1: trace (application/zip) \xE2\x94\x80\xE2\x94\x80", "attachment #1: trace (application/zip)"},
        {"\xE2\x94\x80\xE2\x94\x80 x \xE2\x94\x80", "\xE2\x94\x80\xE2\x94\x80 x \xE2\x94\x80"},
        {"attachment #1 \xE2\x94\x80 a \xE2\x94\x80", "attachment #1 \xE2\x94\x80 a"},
        {"  plain  ", "plain"},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(normalize_selected_line(in), want) << in;
}

TEST(PlaywrightProject, NameInBracketBeforeMark) {
    EXPECT_EQ(extract_playwright_project("  \xE2\x9C\x93  1 [firefox] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA t"),
              "firefox");
    EXPECT_EQ(extract_playwright_project("[ webkit ]\xE2\x80\xBA t"), "webkit");
    EXPECT_EQ(extract_playwright_project("[firefox] t"), std::nullopt);
    EXPECT_EQ(extract_playwright_project("[  ] \xE2\x80\xBA t"), std::nullopt);
    EXPECT_EQ(extract_playwright_project("no bracket \xE2\x80\xBA"), std::nullopt);
}

TEST(JestContext, NumberedHeadBeforeBar) {
    EXPECT_TRUE(is_jest_numbered_context("  12 | expect(x)"));
    EXPECT_FALSE(is_jest_numbered_context("   | ^"));
    EXPECT_FALSE(is_jest_numbered_context("12 expect(x)"));
    EXPECT_FALSE(is_jest_numbered_context("a1 | x"));
}

TEST(PlaywrightAttention, RetriesAndProjectRows) {
    EXPECT_TRUE(is_playwright_attention_line("  Retry #1 ---"));
    EXPECT_TRUE(is_playwright_attention_line("[chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA t"));
    EXPECT_FALSE(is_playwright_attention_line("\xE2\x9C\x93 1 [chromium] \xE2\x80\xBA a.spec.ts:3:5"));
}

}  // namespace
