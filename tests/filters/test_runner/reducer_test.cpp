#include "filters/test_runner/reducer.h"

#include <gtest/gtest.h>

#include <string>

#include "../../support.h"
#include "filters/test_runner/terminal.h"
#include "json.h"
#include "text.h"

namespace {

using filters::test_runner::reducer::compress_test_runner_output;
using filters::test_runner::reducer::try_compress_test_runner_output;
using test_support::Case;

// Lines that no runner keeps, to make the summaries worth their headline.
const std::string kPad = "rootdir: /home/dev/projects/calculator-service\nplugins: anyio-3.6.2, cov-4.1.0\n";

// Whether the summary of `run` with `line` after its first line keeps the
// line (trimmed) as a line of its own.
bool keeps(const std::string& first, const std::string& line, const std::string& rest) {
    std::string in = kPad;
    in.append(first).append(line).append("\n").append(rest);
    std::string want = "\n";
    want.append(text::trim(line)).append("\n");
    const std::string out = compress_test_runner_output(in);
    EXPECT_TRUE(out.starts_with("test output: pytest ")) << line;
    return out.find(want) != std::string::npos;
}

struct LineCase {
    std::string line;
    bool want;
};

TEST(TestRunnerReducer, FailedRunKeepsReportLines) {
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
        {"C:\\work\\a.rs:3:9", true},
        {"pkg.mod::func", true},
        {"a: b:7:c.py", false},                       // only the first numeric piece decides
        {"\xE2\x9D\xAF src/sum.test.ts:4:20", true},  // "❯" and a location
        {"http://localhost:8080", false},
        {"Error: 5", true},
        {"Note: 5", false},
        {"\xE2\x9C\x98  1 [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA title FAILED", false},
        {"  1) [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA title", true},
        {"test-results/a-chromium/test-failed-1.png", true},
        {"- waiting for locator('#go')", true},
        {"see the test report at build/x", true},
        {"everything is fine", false},
        {"error: test failed, to rerun pass `--lib`", false},  // cargo's own line, kept in cargo runs only
    };
    for (const auto& c : cases) EXPECT_EQ(keeps("..F\n", c.line, "1 failed, 1 passed in 0.1s\n"), c.want) << c.line;
}

// The phrases that may stand anywhere in a line ("report", "failure",
// "FAILED", in any letter case where the tests allow it) are looked for once
// in the whole text: lines before, between and after their occurrences, and
// lines holding a phrase the test then rejects, are each judged on their own.
TEST(TestRunnerReducer, PhrasesAnywhereInTheText) {
    const std::string in =
        "============================= test session starts ==============================\n" + kPad +
        "collected 3 items\n"
        "tests/test_a.py .F.\n"
        "see the Test Report for details\n"
        "no report in this line, none at all\n"
        "a REPORT AT: build/x\n"
        "an early failure of the cache\n"
        "=================================== FAILURES ===================================\n"
        "E   assert 1 == 2\n"
        "this line FAILED to start\n"
        "and this one failed quietly\n"
        "FAILED tests/test_a.py::test_two - assert 1 == 2\n"
        "1 failed, 2 passed in 0.12s\n";
    EXPECT_EQ(compress_test_runner_output(in),
              "test output: pytest failure\ncollected 3 items\nsee the Test Report for details\n"
              "a REPORT AT: build/x\nE   assert 1 == 2\nthis line FAILED to start\n"
              "FAILED tests/test_a.py::test_two - assert 1 == 2\n1 failed, 2 passed in 0.12s\n");
}

TEST(TestRunnerReducer, KeepsCountAndResultLines) {
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
        {std::string(300, 'x') + " 3 EXAMPLES, 1 failure", true},
        {std::string(5000, 'x') + " 3 runs, 3 assertions, 0 failures, 0 Errors", true},
        {std::string(5000, 'x') + " 3 runs, 3 assertions, 0 failures", false},
    };
    for (const auto& c : cases) EXPECT_EQ(keeps("..\n", c.line, "2 passed in 0.01s\n"), c.want) << c.line.substr(0, 60);
}

TEST(TestRunnerReducer, TerminalCleanUp) {
    const Case cases[] = {
        {"colour", "\x1b[1;31mred\x1b[0m", "red"},
        {"erase and cursor up", "a\x1b[2K\x1b[1Ab", "ab"},
        {"hide and show cursor", "\x1b[?25lx\x1b[?25h", "x"},
        {"alternate screen stays", "\x1b[?1049hx", "\x1b[?1049hx"},
        {"cursor home stays", "\x1b[Hx", "\x1b[Hx"},
        {"charset selection", "\x1b(Bx\x1b)0", "x"},
        {"charset selection cut short", "x\x1b(", "x\x1b("},
        {"lone escape at the end", "x\x1b", "x\x1b"},
        {"unterminated sequence", "\x1b[12", "\x1b[12"},
        {"non-ASCII before the final", "\x1b[3\xC3\xA9m", "\x1b[3\xC3\xA9m"},
        {"controls", "a\fb\bc\ad\re\tf\x7fg", "abcde\tfg"},
        {"C1 control kept",
         "a\xC2\x85"
         "b",
         "a\xC2\x85"
         "b"},
    };
    // A failed run keeps every line that begins with "FAILED ".
    for (const auto& c : cases)
        EXPECT_EQ(compress_test_runner_output(kPad + "..F\nFAILED t " + c.in + "\n1 failed in 0.1s\n"),
                  "test output: pytest failure\nFAILED t " + c.want + "\n1 failed in 0.1s\n")
            << c.name;
}

// The clean-up never reads across a line feed: lines cleaned apart, in any
// pieces of whole lines, give the text cleaned whole, sequences cut by a
// line end included; a short run of kept bytes near a piece's end is
// copied as it stands.
TEST(TestRunnerReducer, TerminalCleanUpOfPieces) {
    const std::string texts[] = {
        "a\x1b\nb",        "a\x1b[\nb",   "a\x1b[12\nm",   "a\x1b(\nB",    "\x1b[?2\n5l",
        "\x1b[1mred\x1b\n[0m", "x\n\x1b[K\n\x1b", "\x7f\n\x7f\n", "abc\x1b[31mdefghijklmnopqrstu\nv\x1b[0m",
        std::string(40, 'w') + "\x1b[1m" + std::string(3, 'z') + "\n" + std::string(17, 'q') + "\x1b[0m",
    };
    for (const std::string& text : texts) {
        const std::string whole = filters::test_runner::terminal::clean(text);
        EXPECT_LE(whole.size(), text.size());
        for (std::size_t cut = text.find('\n'); cut != std::string::npos; cut = text.find('\n', cut + 1)) {
            std::string pieces;
            filters::test_runner::terminal::append_cleaned(std::string_view(text).substr(0, cut + 1), pieces);
            filters::test_runner::terminal::append_cleaned(std::string_view(text).substr(cut + 1), pieces);
            EXPECT_EQ(pieces, whole) << text << " cut after " << cut;
        }
    }
}

TEST(TestRunnerReducer, Summaries) {
    const Case cases[] = {
        {"unrecognised text stays byte for byte", "hello \x1b[31mworld\x1b[0m\r\n\a",
         "hello \x1b[31mworld\x1b[0m\r\n\a"},
        {"colours go before detection", kPad + "\x1b[32m..\x1b[0m [100%]\n\x1b[32m2 passed in 0.01s\x1b[0m\n",
         "test output: pytest success\n2 passed in 0.01s\n"},
        {"no final newline", kPad + ".. [100%]\n2 passed in 0.01s", "test output: pytest success\n2 passed in 0.01s"},
        {"headline alone declines", "..\nERROR something\n", "..\nERROR something\n"},
        {"adjacent repeats only", kPad + "..F\nFAILED a\nFAILED a\nFAILED b\nFAILED a\n",
         "test output: pytest failure\nFAILED a\nFAILED b\nFAILED a\n"},
        {"unittest progress collapses",
         "RUN setup\n.........................s\n" + std::string(70, '-') +
             "\nRan 26 tests in 0.010s\n\nOK (skipped=1)\n",
         "test output: unittest success\nRUN setup\nprogress: 26 unittest markers (25 passed, 1 skipped)\n"
         "Ran 26 tests in 0.010s\nOK (skipped=1)\n"},
        {"jest code frame",
         "FAIL src/sum.test.js\n  \xE2\x97\x8F sum \xE2\x80\xBA adds\n\n"
         "    expect(received).toBe(expected) // Object.is equality\n\n    Expected: 4\n    Received: 5\n\n"
         "      3 | test('adds', () => {\n    > 4 |   expect(sum(2, 2)).toBe(4);\n"
         "        |                     ^\n        |   const unused = 1;\n      5 | });\n\n"
         "      at Object.toBe (src/sum.test.js:4:21)\n\nTests:       1 failed, 1 total\n",
         "test output: jest failure\nFAIL src/sum.test.js\n\xE2\x97\x8F sum \xE2\x80\xBA adds\nExpected: 4\nReceived: "
         "5\n"
         "3 | test('adds', () => {\n> 4 |   expect(sum(2, 2)).toBe(4);\n|                     ^\n5 | });\n"
         "at Object.toBe (src/sum.test.js:4:21)\nTests:       1 failed, 1 total\n"},
        {"playwright projects after the run line",
         "Running 4 tests using 2 workers\n\n"
         "  \xE2\x9C\x93  1 [chromium] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA home (1.2s)\n"
         "  \xE2\x9C\x93  2 [firefox] \xE2\x80\xBA a.spec.ts:3:5 \xE2\x80\xBA home (1.4s)\n"
         "  \xE2\x9C\x93  3 [chromium] \xE2\x80\xBA b.spec.ts:3:5 \xE2\x80\xBA cart (1.1s)\n\n  3 passed (3.2s)\n",
         "test output: playwright success\nRunning 4 tests using 2 workers\nprojects: chromium, firefox\n3 passed "
         "(3.2s)\n"},
        {"go stream that would grow goes on to detection",
         R"({"Action":"run","Package":"a.b","Test":"TestA"})"
         "\n"
         R"({"Action":"output","Package":"a.b","Test":"TestA","Output":"=== RUN TestA; test report: 3 tests completed, 1 failed"})"
         "\n"
         R"({"Action":"fail","Package":"a.b","Test":"TestA","Elapsed":1e300})"
         "\n",
         "test output: gradle-test failure\n"
         R"({"Action":"output","Package":"a.b","Test":"TestA","Output":"=== RUN TestA; test report: 3 tests completed, 1 failed"})"
         "\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_test_runner_output(c.in), c.want) << c.name;
}

// A lone control byte must be found wherever it stands, in a full block of
// sixteen bytes or in the few bytes after the last one.
TEST(TestRunnerReducer, ControlByteAnywhereIsCleaned) {
    for (char control : {'\x07', '\x7f', '\x1f', '\r'}) {
        for (std::size_t pad = 0; pad < 16; ++pad) {
            std::string in = "rootdir: /home/dev/calculator" + std::string(pad, ' ') +
                             "\nplugins: anyio-3.6.2\n.. [100%]\n2 passed in 0.01s" + control + "\n";
            EXPECT_EQ(compress_test_runner_output(in), "test output: pytest success\n2 passed in 0.01s\n")
                << int(control) << " after " << pad;
        }
    }
}

TEST(TestRunnerReducer, HostileInputsDecline) {
    const std::string cases[] = {
        "",
        "\n",
        std::string(1 << 20, '['),
        std::string(1 << 20, 'x') + "\n1 failed in 0.1s\n",
        std::string(100000, '\x1b'),
        "\x1b[" + std::string(100000, ';'),
    };
    for (const auto& in : cases) {
        std::string out = compress_test_runner_output(in);
        EXPECT_LE(out.size(), in.size());
    }
}

// Output of node's own test runner is none of the runners this filter knows:
// it passes through untouched for the stack-trace and log filters.
TEST(TestRunnerReducer, NodeTestRunnerPassesThrough) {
    for (const char* name : {"node_tap_fail.txt", "node_spec_fail.txt"}) {
        const std::string in = test_support::read_test_file(std::string("filters/test_runner/data/") + name);
        ASSERT_FALSE(in.empty()) << name;
        EXPECT_EQ(compress_test_runner_output(in), in) << name;
    }
}

// cargo's verdict lines name the targets to run again: each survives a
// failed workspace run of three failing targets, the closing count included.
TEST(TestRunnerReducer, CargoVerdictLinesSurvive) {
    const std::string in = test_support::read_test_file("cases/test_runner/cargo_workspace_targets_failed.in");
    ASSERT_FALSE(in.empty());
    const std::string out = compress_test_runner_output(in);
    ASSERT_TRUE(out.starts_with("test output: cargo failure\n"));
    for (const char* line :
         {"error: test failed, to rerun pass `-p billing --lib`", "error: test failed, to rerun pass `-p ledger --lib`",
          "error: test failed, to rerun pass `-p ledger --test rounding`",
          "error: 3 targets failed:\n`-p billing --lib`\n`-p ledger --lib`\n`-p ledger --test rounding`"})
        EXPECT_TRUE(text::contains(out, std::string("\n") + line + "\n")) << line;
}

TEST(TestRunnerReducer, PanicCauses) {
    const Case cases[] = {
        // The message under a cargo panic location is the failure's cause.
        {"cargo panic message",
         "running 1 test\ntest t::d ... FAILED\n\nfailures:\n\n---- t::d stdout ----\n"
         "thread 't::d' (7) panicked at src/lib.rs:2:5:\nattempt to divide by zero\n"
         "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n\n"
         "test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 0 filtered out; finished in 0.00s\n",
         "test output: cargo failure\nrunning 1 test\ntest t::d ... FAILED\nfailures:\n"
         "thread 't::d' (7) panicked at src/lib.rs:2:5:\nattempt to divide by zero\n"
         "test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 0 filtered out; finished in 0.00s\n"},
        // A Go panic's first line and the runtime's fatal error.
        {"go panic",
         "=== RUN   TestFirst\n--- FAIL: TestFirst (0.00s)\npanic: runtime error: index out of range [1] [recovered]\n"
         "\tpanic: runtime error: index out of range [1]\n\ngoroutine 7 [running]:\ntesting.tRunner.func1()\n"
         "fatal error: all goroutines are asleep - deadlock!\nFAIL\texample.com/gocalc\t0.013s\nFAIL\n",
         "test output: go failure\n--- FAIL: TestFirst (0.00s)\npanic: runtime error: index out of range [1] "
         "[recovered]\n"
         "panic: runtime error: index out of range [1]\nfatal error: all goroutines are asleep - deadlock!\n"
         "FAIL\texample.com/gocalc\t0.013s\nFAIL\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_test_runner_output(c.in), c.want) << c.name;
}

// One event of a go -json stream, in the member order go test writes.
std::string event(std::string_view action, std::string_view test, std::string_view extra = "") {
    std::string s =
        text::format(R"({"Time":"2026-12-06T20:35:24.409005122Z","Action":"{}","Package":"example.com/calc")", action);
    if (!test.empty()) s += text::format(R"(,"Test":"{}")", test);
    return s + std::string(extra) + "}\n";
}

std::string output(std::string_view test, std::string_view out) {
    return event("output", test, text::format(R"(,"Output":{})", json::quote_string(out)));
}

const std::string kRun = event("run", "TestA") + output("TestA", "=== RUN   TestA\n") + event("pass", "TestA");

TEST(TestRunnerReducer, GoEventStreams) {
    const std::string long_line(241, 'x');
    const Case cases[] = {
        {"three events suffice", kRun, "test output: go success\n"},
        {"blank lines between events",
         "\n" + kRun + "\n" + output("", "ok  \texample.com/calc\t0.002s\n") + event("pass", "", R"(,"Elapsed":0.002)"),
         "test output: go success\nok  \texample.com/calc\t0.002s\nok example.com/calc (0.002s)\n"},
        {"failed and skipped tests",
         event("run", "TestB") + output("TestB", "=== RUN   TestB\n") + output("TestB", "    calc_test.go:9: got 8\n") +
             output("TestB", "    calc_test.go:9: got 8\n") + output("TestB", std::string(240, 'y') + "\n") +
             output("TestB", long_line + "\n") + output("TestB", "--- PASS: TestB/sub (0.00s)\n") +
             output("TestB", "--- FAIL: TestB (0.00s)\n") + event("fail", "TestB", R"(,"Elapsed":2)") +
             output("TestS", "note\n") + output("TestS", "skipping for now\n") + event("skip", "TestS") +
             output("", "FAIL\n") + event("fail", "", R"(,"Elapsed":0.5)"),
         "test output: go failure\ncalc_test.go:9: got 8\n" + std::string(240, 'y') +
             "\n--- FAIL: TestB (0.00s)\nFAIL example.com/calc TestB (2s)\nskipping for now\n"
             "SKIP example.com/calc TestS\nFAIL\nFAIL example.com/calc (0.5s)\n"},
        {"wrong-typed members count as absent",
         kRun + R"({"Action":"fail","Package":"example.com/calc","Test":5,"Elapsed":"1"})"
                "\n",
         "test output: go failure\nFAIL example.com/calc\n"},
        {"a repeated member counts by its last value",
         kRun + output("TestE", "first\n").replace(0, 1, R"({"Output":"dropped\n",)") +
             R"({"Action":"output","Package":"example.com/calc","Test":"TestE","Output":"dropped too\n","Output":"    last_test.go:3: kept\n"})"
             "\n"
             R"({"Action":"fail","Package":"example.com/calc","Test":"TestX","Test":"TestE","Elapsed":"1","Elapsed":0.25})"
             "\n",
         "test output: go failure\nfirst\nlast_test.go:3: kept\nFAIL example.com/calc TestE (0.25s)\n"},
        {"elapsed as the shortest decimal",
         kRun + event("fail", "TestC", R"(,"Elapsed":1e-7)") + event("fail", "TestD", R"(,"Elapsed":1e21)"),
         "test output: go failure\nFAIL example.com/calc TestC (0.0000001s)\n"
         "FAIL example.com/calc TestD (1000000000000000000000s)\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_test_runner_output(c.in), c.want) << c.name;
}

TEST(TestRunnerReducer, NotGoEventStreams) {
    const std::string cases[] = {
        event("run", "TestA") + event("fail", "TestA"),  // two events
        kRun + "hello\n",
        event("run", "TestA") + output("TestA", "log\n") + event("pass", "TestA"),
        kRun + event("explode", "TestA"),
        kRun + "[1]\n",
        kRun + "{\"Action\":\"pass\"}\n",
        kRun + "{\"Action\":\"pass\",\"Package\":\"x\"\n",
        kRun + R"({"Action":"pass","Package":"x","Action":1})"
               "\n",
        kRun + std::string(100000, '[') + "\n",
        // JSON Lines of another kind: no event has an action.
        kRun + R"({"level":"info","Package":"example.com/calc","Test":"TestA"})"
               "\n",
        R"({"Action":"run","Package":"calc","Test":"a"})"
        "\n"
        R"({"Action":"output","Package":"calc","Test":"a","Output":"=== RUN a\n"})"
        "\n"
        R"({"Action":"pass","Package":"calc","Test":"a"})"
        "\n",
    };
    for (const auto& in : cases) EXPECT_EQ(compress_test_runner_output(in), in) << in.substr(0, 300);
}

}  // namespace
