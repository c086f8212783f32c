#include "filters/test_runner/detector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "../../support.h"
#include "filters/test_runner/first_look.h"
#include "filters/test_runner/go_jsonl.h"
#include "filters/test_runner/terminal.h"
#include "text.h"

namespace {

using namespace filters::test_runner::detector;

std::optional<TestRun> detect(std::string_view text) { return detect_test_run(text::LineIndex(text)); }

std::string describe(const std::optional<TestRun>& run) {
    if (!run) return "none";
    return std::string(runner_name(run->kind)) + (run->failed ? " failure" : " success");
}

TEST(TestRunnerDetector, RunnerAndOutcome) {
    const test_support::Case cases[] = {
        {"empty", "", "none"},
        {"plain", "hello\nworld\n", "none"},
        {"pytest second rule", ".F. [ 50%]\nFAILED a.py::t - x\n", "pytest failure"},
        {"pytest quiet green", "..s   [100%]\n2 passed, 1 skipped in 0.01s\n", "pytest success"},
        {"progress with file name", "a.py ..\n2 passed in 0.01s\n", "none"},
        {"bracket without digits", ".. [%]\n2 passed in 0.01s\n", "none"},
        {"pytest errors", "= test session starts =\ncollected 2 items\n= 1 passed, 1 error in 0.1s =\n",
         "pytest failure"},
        {"unittest failing, default mode", ".F\n----------\nRan 2 tests in 0.001s\n\nFAILED (failures=1)\n",
         "unittest failure"},
        {"unittest needs its result line", "Ran 2 tests in 0.001s\nOK\n", "none"},
        {"unittest green", "...\n----------\nRan 3 tests in 0.001s\n\nOK\n", "unittest success"},
        {"vitest before jest", " RUN  v1.6.0 /app\nFAIL src/a.test.ts\nTests: 1 failed\n", "vitest failure"},
        {"go before jest", "FAIL src/a.test.js\nTests: 1 failed\nok  \tmod/x\t0.1s\n", "go failure"},
        {"jest green with failed in a name",
         "PASS src/pay.test.js\n  \xE2\x9C\x93 retries failed payments (4 ms)\nTests:       1 passed, 1 total\n",
         "jest success"},
        {"jest red", "FAIL src/pay.test.js\nTests:       1 failed, 1 total\n", "jest failure"},
        {"playwright flaky is no failure", "Running 3 tests using 2 workers\n  1 flaky\n  2 passed (3.0s)\n",
         "playwright success"},
        {"playwright zero failed", "Running 3 tests using 2 workers\n  0 failed\n  3 passed (3.0s)\n",
         "playwright success"},
        {"playwright interrupted", "Running 3 tests using 2 workers\n  1 interrupted\n  2 passed (3.0s)\n",
         "playwright failure"},
        {"cargo zero failed", "running 1 test\ntest result: ok. 1 passed; 0 failed; 0 ignored\n", "cargo success"},
        {"maven green", "Tests run: 3, Failures: 0, Errors: 0, Skipped: 0\n[INFO] BUILD SUCCESS\n",
         "maven-surefire success"},
        {"maven info mark", "[INFO] Tests run: 3, Failures: 0, Errors: 0, Skipped: 0\n", "none"},
        {"maven red", "[ERROR] Tests run: 3, Failures: 1, Errors: 0, Skipped: 0\n", "maven-surefire failure"},
        {"maven needs skipped", "Tests run: 3, Failures: 0, Errors: 0\n", "none"},
        {"gradle red", "> Task :test\n3 tests completed, 1 failed\n", "gradle-test failure"},
        {"gradle green", "> Task :test\n3 tests completed\n", "gradle-test success"},
        {"dotnet empty count", "Starting test execution, please wait...\nPassed:\n", "dotnet-test success"},
        {"dotnet red",
         "Test run for /a/Tests.dll (.NETCoreApp,Version=v8.0)\nFailed!  - Failed:     1, Passed:     2\n",
         "dotnet-test failure"},
        {"rspec", "Finished in 0.01 seconds\n3 examples, 1 failure\n", "rspec failure"},
        {"rspec green", "Finished in 0.01 seconds\n3 examples, 0 failures\n", "rspec success"},
        {"minitest", "Run options: --seed 1\n3 runs, 3 assertions, 0 failures, 0 errors, 0 skips\n",
         "minitest success"},
        {"minitest red", "..F\n3 runs, 3 assertions, 1 failures, 0 errors, 0 skips\n", "minitest failure"},
        // Each half of a rule may stand anywhere, indented, and in the letter
        // case that its rule allows.
        {"pytest progress of one skip", "s [100%]\n1 skipped in 0.01s\n", "pytest success"},
        {"pytest summary header as partner", "x\n=== short test SUMMARY info ===\n", "pytest success"},
        {"unittest markers of skips only", "Ran 3 tests in 0.001s\nOK (skipped=3)\nsss\n", "unittest success"},
        {"unittest unexpected successes", "uuU\nRan 3 tests in 0.001s\nOK\n", "unittest success"},
        {"unittest verbose result line", "  t (a.B) ... skipped 'x'\nRan 1 test in s\nOK\n", "unittest success"},
        {"vitest RUN before a tab", "  RUN \t\nTests  1 passed\n", "vitest success"},
        {"vitest RUN alone", "  RUN\nTests  1 passed\n", "none"},
        {"playwright status before run line", "  2 passed (3.0s)\n  Running 2 tests using 1 worker\n",
         "playwright success"},
        {"cargo", "  test result: ok. 1 passed\n  running 1 test\n", "cargo success"},
        {"go run and result", "=== RUN   TestA\n--- PASS: TestA (0.00s)\n", "go success"},
        // A Go run needs both halves, or a package line.
        {"go result alone", "--- FAIL: x (0.52s)\n", "none"},
        {"go run without a result", "=== RUN   TestA\n=== RUN   TestB\n", "none"},
        {"go result without duration", "=== RUN   TestA\n--- FAIL: TestA\n", "none"},
        {"go package line alone", "ok  \texample.com/calc\t0.002s\n", "go success"},
        {"go package line cached", "ok  \texample.com/calc\t(cached)\n", "none"},
        {"maven upper case", "  TESTS RUN: 1, FAILURES: 0, ERRORS: 0, SKIPPED: 0\n", "maven-surefire success"},
        {"maven error mark any case", "[Error] tests run: 1, failures: 1, errors: 0, skipped: 0\n",
         "maven-surefire failure"},
        {"gradle report anywhere", "see the Test Report at x\n3 TESTS COMPLETED\n", "gradle-test success"},
        {"gradle without its first half", "3 tests completed, 1 failed\n", "none"},
        {"dotnet vstest anywhere", "using VSTest 17\nPASSED: 3\n", "dotnet-test success"},
        {"vstest at the very start", "vstest.console\nPassed: 1\n", "dotnet-test success"},
        {"pytest session phrase is case-sensitive", "== TEST SESSION STARTS ==\ncollected 1 item\n", "none"},
        {"pytest session phrase", "== test session starts ==\ncollected 1 item\n", "pytest success"},
        {"dotnet lower-case label", "Starting test execution\nskipped: 2\n", "dotnet-test success"},
        {"rspec numbered failure", "1) Calc adds\n3 EXAMPLES, 1 FAILURE\n", "rspec failure"},
        {"minitest skips only", "SSS\n3 runs, 0 assertions, 0 failures, 0 errors, 3 skips\n", "minitest success"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(detect(c.in)), c.want) << c.name;
}

// A line's first bytes are read from a window of sixteen; indents that fill
// it, lines near the end of the text and leading digits take the full test.
// A failure is looked for only on lines that hold "fail" or "error".
TEST(TestRunnerDetector, LineWindowsAndFailureSearch) {
    const std::string cargo_tail = "test result: ok. 1 passed; 0 failed\n";
    std::string many_oks;
    for (int i = 0; i < 40; ++i) many_oks += "test a::b" + std::to_string(i) + " ... ok\n";
    const test_support::Case cases[] = {
        {"indent of 15", std::string(15, ' ') + "running 1 test\n" + cargo_tail, "cargo success"},
        {"indent of 16", std::string(16, ' ') + "running 1 test\n" + cargo_tail, "cargo success"},
        {"indent of 40 blanks and tabs", std::string(20, '\t') + std::string(20, ' ') + "running 1 test\n" + cargo_tail,
         "cargo success"},
        {"short last line without newline", "log\nok\tm/x\t1s", "go success"},
        {"digits alone on a line", "..  [100%]\n12\n2 passed in 0.01s\n", "pytest success"},
        {"a date is no count", "..  [100%]\n2024-05-14 2 passed in 0.01s\n", "none"},
        {"pytest banner before another runner", "== test session starts ==\ncollected 1 item\nrunning 1 test\n"
         "test result: FAILED. 0 passed; 1 failed\n", "pytest failure"},
        {"late failure after many lines", "running 41 tests\n" + many_oks + "test result: FAILED. 40 passed; 1 failed\n",
         "cargo failure"},
        {"fail inside a name", "running 1 test\ntest failover ... ok\n" + cargo_tail, "cargo success"},
        {"upper-case error mark", "running 1 test\nERROR: x\n" + cargo_tail, "cargo failure"},
        {"verbose unittest error", "t (a.B) ... ERROR\nRan 1 test in 0.1s\nFAILED (errors=1)\n", "unittest failure"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(detect(c.in)), c.want) << c.name;
}

TEST(TestRunnerDetector, FailureRulesByGroup) {
    // One recognised text per runner, then one extra line that some groups
    // read as a failure and others do not.
    const std::string pytest = "..  [100%]\n2 passed in 0.01s\n";
    const std::string rspec = "Finished in 0.01 seconds\n3 examples, 0 failures\n";
    const struct {
        std::string base, line;
        bool want;
    } cases[] = {
        {pytest, "1 error", true},
        {rspec, "1 error", false},
        {pytest, "FAILURE here", false},
        {rspec, "FAILURE here", true},
        {pytest, "0 failed", false},
        {rspec, "0 failed", false},
        {rspec, "a test that failed", false},
        {rspec, "x Failures: 0", false},
        {rspec, "total failures: 2", true},
        {rspec, "3 examples, 2 failures", true},
        {rspec, "Tests run: 3, Failures: 0", false},
        {rspec, "1 failures", true},
        {pytest, "x (a.b) ... ERROR", true},
        // A Surefire line: "Failures: " marks a failure for group D whatever
        // count follows; the lower-cased label counts need a non-zero count.
        {rspec, "x failures: 0x", false},
        {rspec, "total failures: 99999999999999999999", false},
        {rspec, "(2 errors)", true},
        {pytest, "x (2 errors)", true},
    };
    for (const auto& c : cases) {
        auto run = detect(c.base + c.line + "\n");
        ASSERT_TRUE(run) << c.line;
        EXPECT_EQ(run->failed, c.want) << runner_name(run->kind) << ": " << c.line;
    }
}

TEST(TestRunnerDetector, PlaywrightStatusLines) {
    // A status line makes the run Playwright's; only some labels fail it.
    const test_support::Case cases[] = {
        {"passed with time", "3 passed (4.2s)", "playwright success"},
        {"did not run", "+1 did not run", "playwright success"},
        {"timed out", "1 timed out", "playwright failure"},
        {"zero timed out", "0 timed out", "playwright success"},
        {"cut short", "1 did not", "none"},
        {"extra tokens", "1 passed x y", "none"},
        {"no count", "x passed", "none"},
        {"unknown label", "1 ok", "none"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(detect("Running 1 test using 1 worker\n" + c.in + "\n")), c.want) << c.name;
}

// The first look may only decline texts that no rule accepts, nor the Go
// event reader: every run keeps the look's consent however it is dressed:
// its lines indented by any whitespace, coloured, cut by sequences and
// control bytes that the clean-up drops (which make its words only once
// they are gone), or far into the text, past the first piece the look reads.
TEST(TestRunnerDetector, FirstLookKeepsEveryRun) {
    using filters::test_runner::first_look::may_hold_test_run;
    const std::string runs[] = {
        "..F  [100%]\nFAILED a.py::t - x\n",
        "..s   [100%]\n2 passed, 1 skipped in 0.01s\n",
        "..s   [100%]\nSKIPPED [1] a.py:3: x\n== short test summary info ==\n",
        "..\n2 passed in 5s\n",
        "..\n2 passed in 1.s\n",
        "..\n2 passed in .s \xC2\xA0\n",
        "= test session starts =\ncollected 0 items\n",
        ".F\n----------\nRan 2 tests in 0.001s\n\nFAILED (failures=1)\n",
        "...\n----------\nRan 3 tests in 0.001s\n\nOK\n",
        "RUN  v1.6.0 /app\nFAIL src/a.test.ts\n",
        "Running 3 tests using 2 workers\n1 flaky\n2 passed (3.0s)\n",
        "running 1 test\ntest result: ok. 1 passed; 0 failed; 0 ignored\n",
        "ok\tmod/x\t0.1s\n",
        "?\tmod/cmd\t[no test files]\n",
        "FAIL\tmod/y\t0.2s\n",
        "=== RUN   TestA\n--- FAIL: TestA (0.00s)\n",
        "PASS src/pay.test.js\nTests:       1 passed, 1 total\n",
        "> Task :test\n3 tests completed, 1 failed\n",
        "see the test report\n4 TESTS COMPLETED\n",
        "[ERROR] Tests run: 3, Failures: 1, Errors: 0, Skipped: 0\n",
        "Test run for /a/Tests.dll\nFailed!  - Failed:     1, Passed:     2\n",
        "Starting test execution, please wait...\nPassed!  - Failed:     0, Passed:     2\n",
        "VSTest.Console.exe a.dll\nTotal tests: 2\n",
        "Finished in 0.01 seconds\n3 examples, 1 failure\n",
        "Run options: --seed 1\n3 runs, 3 assertions, 0 failures, 0 errors, 0 skips\n",
        "..F\n3 runs, 3 assertions, 1 failures, 0 errors\n",
        R"({"Action":"run","Package":"a.b","Test":"TestA"})" "\n"
        R"({"Action":"output","Package":"a.b","Test":"TestA","Output":"=== RUN   TestA\n"})" "\n"
        R"({"Action":"pass","Package":"a.b","Test":"TestA","Elapsed":0})" "\n",
    };
    const auto each_line = [](const std::string& run, auto dress) {
        std::string text;
        for (std::string_view line : text::split_lines(run).lines) text += dress(std::string(line)) + "\n";
        return text;
    };
    // Drops `cut` into a line after each of its ASCII bytes.
    const auto cut_after_each_byte = [](const std::string& line, std::string_view cut) {
        std::string out;
        for (char c : line) {
            out.push_back(c);
            if (static_cast<unsigned char>(c) < 0x80) out.append(cut);
        }
        return out;
    };
    const std::string indents[] = {"",         " ",           "\t",           "  ",           "\xC2\xA0",
                                   "\xC2\x85", "\xE1\x9A\x80", "\xE2\x80\x8A", "\xE2\x81\x9F", "\xE3\x80\x80 ",
                                   " \xE2\x80\xAF", "\xE2\x80\xA8"};
    const std::string cuts[] = {"\x1b[1m", "\x1b[?25l", "\x1b(B", "\x7f", "\x19", "\x1a", "\x01", "\x1b[K\x1b[0m"};
    std::string far;  // filler lines that fill several pieces, some coloured
    for (int i = 0; far.size() < 300000; ++i)
        far += i % 3 ? "log line " + std::to_string(i) + "\n" : "\x1b[2mlog line\x1b[0m\n";
    for (const std::string& run : runs) {
        std::vector<std::string> texts{run, "log start\n" + run, far + run, std::string(100000, 'x') + "\n" + run,
                                       each_line(run, [](const std::string& l) { return "\x1b[32m" + l + "\x1b[0m"; })};
        for (const std::string& indent : indents)
            texts.push_back("log start\n" + each_line(run, [&](const std::string& l) { return indent + l; }));
        for (const std::string& cut : cuts) {
            const std::string cut_run = each_line(run, [&](const std::string& l) { return cut_after_each_byte(l, cut); });
            // Only the clean-up makes the run's words.
            EXPECT_EQ(filters::test_runner::terminal::clean(cut_run), each_line(run, [](const std::string& l) { return l; }));
            texts.push_back(cut_run);
            texts.push_back(far + cut_run);
        }
        for (const std::string& text : texts) {
            const std::string cleaned = filters::test_runner::terminal::clean(text);
            const text::LineIndex lines(cleaned);
            if (detect_test_run(lines) || filters::test_runner::go_jsonl::reduce_go_jsonl_lines(lines)) {
                EXPECT_TRUE(may_hold_test_run(text)) << text.substr(0, 300);
            }
        }
        EXPECT_TRUE(detect(run) || filters::test_runner::go_jsonl::reduce_go_jsonl_lines(text::LineIndex(run))) << run;
        EXPECT_TRUE(may_hold_test_run(run)) << run;
    }
}

// Texts put together at random from the pieces of every rule's lines,
// blanks, wider whitespace and bytes the clean-up drops: whenever a rule
// (or the Go event reader) holds in the cleaned text, the first look
// consents.
TEST(TestRunnerDetector, FirstLookKeepsRunsMadeOfPieces) {
    const std::string pieces[] = {
        "ERROR ", "FAILED ", "FAILED (", "FAIL", "PASS ", "ok", "?", "Ran", "Running", "RUN", " ", "\t", "\xC2\xA0",
        "\xE3\x80\x80", "=== RUN ", "--- FAIL: T (0.00s)", "test result: ok.", "running 2 tests", "tests run: 1, ",
        "failures: 0, errors: 0, skipped: 0", "[ERROR] ", "3 tests completed", ", 1 failed", "3 examples, ", "1 failure",
        "3 runs, 3 assertions, ", "0 failures, 0 errors", "Finished in 1s", "Run options:", "..F", ".", "E", "x",
        "collected 1 item", "= test session starts =", "short test summary info", "2 passed", " in ", "0.5s", "s",
        "mod/x", "[no test files]", "vstest", "Test run for x", "Starting test execution", "Passed!", "Failed!",
        "Total tests: 3", "Failures:", "1) x", "Tests: 1 passed", "Test Files", "Snapshots:", "PASS src/a.test.js",
        "1 passed (1s)", "3 tests using 2 workers", "OK", "----------", "Ran 2 tests in 0.1s", "> Task :test",
        "test report", "\x1b[1m", "\x1b[0m", "\x1b(B", "\x7f", "\x19", "\x01",
        R"({"Action":"run","Package":"a.b","Test":"TestA"})",
        R"({"Action":"output","Package":"a.b","Output":"--- PASS: TestA (0.00s)\n"})",
        R"({"Action":"pass","Package":"a.b","Test":"TestA"})",
    };
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    const auto next = [&](std::size_t n) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::size_t>(state % n);
    };
    std::size_t runs = 0;
    for (int round = 0; round < 40000; ++round) {
        std::string text;
        for (std::size_t line = 0, lines = 1 + next(6); line < lines; ++line) {
            for (std::size_t k = 0, count = 1 + next(4); k < count; ++k) text += pieces[next(std::size(pieces))];
            text += "\n";
        }
        const std::string cleaned = filters::test_runner::terminal::clean(text);
        const text::LineIndex lines(cleaned);
        if (!detect_test_run(lines) && !filters::test_runner::go_jsonl::reduce_go_jsonl_lines(lines)) continue;
        ++runs;
        EXPECT_TRUE(filters::test_runner::first_look::may_hold_test_run(text)) << text;
    }
    EXPECT_GT(runs, 1000u);  // the pieces make runs often enough to test the look
}

// The first look declines the text of other tools, signs of runners that
// they hold in places or shapes that no rule reads included.
TEST(TestRunnerDetector, FirstLookDeclinesOtherText) {
    const std::string others[] = {
        "",
        "plain words\nthat run in 3 ms\n",
        "\xE2\x80\x99RUN it\n",
        "a\n*FAIL x\n",
        "a \xC2\xA0" "FAILED x\n",
        "\xC2\xA0" "a\tRUN x\n",
        "\x1b[32mok\x1b[0m 63\n\x1b[33mpass\x1b[0m 7\n",                // ok without a package
        "? unknown option\nok then\nFAILED (errors=1)\nRan out of time\n",
        "x = a ? b : c;\nDone in 13s\nrequest completed in 841 ms\n",
        "2024-05-14 ERROR db: timeout\n  at example.com/tests/run.py:3\n",
        "Running migrations\nRunning 3 tests\nRan the job\n",
        "\x1b[0m\x1b[35msrc/test_a.py\x1b[0m\n\x1b[32m12\x1b[0m:def test_run(): pass\n",
        "plain\n" R"({"Test":"TestA","Action":"run"})" "\n",
        "the tests run: quickly\nexamples, examples\n3 assertions, one run\n",
    };
    for (const std::string& other : others)
        EXPECT_FALSE(filters::test_runner::first_look::may_hold_test_run(other)) << other;
}

}  // namespace
