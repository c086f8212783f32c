#include "filters/test_runner/reducer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace filters::test_runner::reducer;

struct Case {
    std::string name;
    std::string in;
    std::string want;
};

TEST(TerminalCleanUp, KnownSequencesAndControls) {
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
    for (const auto& c : cases) EXPECT_EQ(clean_terminal_text(c.in), c.want) << c.name;
}

TEST(TestRunnerFilter, Summaries) {
    // Lines that no runner keeps, to make the summaries worth their headline.
    const std::string pad = "rootdir: /home/dev/projects/calculator-service\nplugins: anyio-3.6.2, cov-4.1.0\n";
    const Case cases[] = {
        {"unrecognised text stays byte for byte", "hello \x1b[31mworld\x1b[0m\r\n\a",
         "hello \x1b[31mworld\x1b[0m\r\n\a"},
        {"colours go before detection", pad + "\x1b[32m..\x1b[0m [100%]\n\x1b[32m2 passed in 0.01s\x1b[0m\n",
         "test output: pytest success\n2 passed in 0.01s\n"},
        {"no final newline", pad + ".. [100%]\n2 passed in 0.01s", "test output: pytest success\n2 passed in 0.01s"},
        {"headline alone declines", "..\nERROR something\n", "..\nERROR something\n"},
        {"adjacent repeats only", pad + "..F\nFAILED a\nFAILED a\nFAILED b\nFAILED a\n",
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
TEST(TestRunnerFilter, ControlByteAnywhereIsCleaned) {
    for (char control : {'\x07', '\x7f', '\x1f', '\r'}) {
        for (std::size_t pad = 0; pad < 16; ++pad) {
            std::string in = "rootdir: /home/dev/calculator" + std::string(pad, ' ') +
                             "\nplugins: anyio-3.6.2\n.. [100%]\n2 passed in 0.01s" + control + "\n";
            EXPECT_EQ(compress_test_runner_output(in), "test output: pytest success\n2 passed in 0.01s\n")
                << int(control) << " after " << pad;
        }
    }
}

TEST(TestRunnerFilter, HostileInputsDecline) {
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
TEST(TestRunnerFilter, NodeTestRunnerPassesThrough) {
    for (const char* name : {"node_tap_fail.txt", "node_spec_fail.txt"}) {
        std::ifstream file(std::string(QUORVANE_TEST_DATA) + "/filters/test_runner/data/" + name, std::ios::binary);
        ASSERT_TRUE(file) << name;
        std::stringstream buffer;
        buffer << file.rdbuf();
        EXPECT_FALSE(try_compress_test_runner_output(buffer.str())) << name;
    }
}

}  // namespace
