#include "filters/traceback/detector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../support.h"
#include "filters/traceback/reducer.h"
#include "text.h"

namespace {

using filters::traceback::detector::parse_python_traceback;
using filters::traceback::detector::TracebackEvent;

const std::string kHead = "Traceback (most recent call last):\n";
const std::string kFrame = "  File \"/home/dev/app/main.py\", line 3, in main\n    run()\n";
const std::string kError = "ValueError: bad\n";
const std::string kBlock = kHead + kFrame + kError;

bool accepted(const std::string& in) {
    const text::LineIndex lines(in);
    return parse_python_traceback(lines).has_value();
}

TEST(TracebackDetector, StrictBlocks) {
    struct Row {
        const char* name;
        std::string text;
        bool accepted;
    };
    const Row rows[] = {
        {"one block", kBlock, true},
        {"cut off before the exception", kHead + kFrame, false},
        {"a good block, then one cut off", kBlock + kHead + kFrame, false},
        {"header then exception, no frame", kHead + kError, false},
        {"frames then another header", kHead + kFrame + kBlock, false},
        {"frames then an ordinary unindented line", kHead + kFrame + "see the log\n" + kError, false},
        {"blank lines between frames and before the exception", kHead + kFrame + "\n" + kFrame + "\n\n" + kError, true},
        {"frame without a function name", kHead + "  File \"<stdin>\", line 1\n" + kError, true},
        {"line number 0", kHead + "  File \"a.py\", line 0, in f\n" + kError, false},
        {"line number with a leading zero", kHead + "  File \"a.py\", line 007, in f\n" + kError, false},
        {"empty path", kHead + "  File \"\", line 7, in f\n" + kError, false},
        {"nothing after in", kHead + "  File \"a.py\", line 7, in \n" + kError, false},
        {"unindented repeat note", kHead + kFrame + "[Previous line repeated 996 more times]\n" + kError, true},
        {"dotted exception name", kHead + kFrame + "orders.billing.PaymentFailed: no\n", true},
        {"exception name with a hyphen", kHead + kFrame + "Value-Error: x\n", false},
        {"exception name without a known ending", kHead + kFrame + "Oops: x\n", false},
        {"indented exception line", kHead + kFrame + "  ValueError: x\n", false},
        // Each ending of an exception name that Python or a library prints.
        {"ends in Exception", kHead + kFrame + "Exception: boom\n", true},
        {"ends in Warning", kHead + kFrame + "DeprecationWarning: old api\n", true},
        {"ends in Interrupt", kHead + kFrame + "KeyboardInterrupt\n", true},
        {"ends in Exit", kHead + kFrame + "SystemExit: 2\n", true},
        {"ends in Iteration", kHead + kFrame + "StopIteration\n", true},
        {"ends in Timeout", kHead + kFrame + "requests.exceptions.ReadTimeout: read timed out\n", true},
        {"ends in Cancelled", kHead + kFrame + "trio.Cancelled: cancelled\n", true},
        {"ends in Abort", kHead + kFrame + "click.exceptions.Abort\n", true},
        {"ends in Failure", kHead + kFrame + "jobs.ExportFailure: disk full\n", true},
    };
    for (const Row& r : rows) EXPECT_EQ(accepted(r.text), r.accepted) << r.name;
}

// The search for a header finds it at any place, around the edges of the
// blocks it reads, and turns away the "(m" of other text.
TEST(TracebackDetector, FindsAHeaderAtAnyPlace) {
    for (std::size_t pad = 0; pad < 140; ++pad) {
        const std::string lead = std::string(pad, 'x') + "\n";
        EXPECT_TRUE(accepted(lead + kBlock)) << pad;
        EXPECT_TRUE(accepted(kBlock + lead + "(m\n" + kBlock)) << pad;
        EXPECT_FALSE(accepted(lead + "Traceback (most recent call last): x\n" + kFrame + kError)) << pad;
        EXPECT_FALSE(accepted(lead + "(most recent call last):\n" + kFrame + kError)) << pad;
    }
}

TEST(TracebackDetector, ContextIndentationAndChainMarkers) {
    const std::string cause = "The above exception was the direct cause of the following exception:\n";
    const std::string in = cause + kHead + "  File \"a.py\", line 2, in f\n        nested()\n\tx = 1\n  y\n" + kError +
                           cause + kBlock + cause;
    const text::LineIndex lines(in);
    const auto parse = parse_python_traceback(lines);
    ASSERT_TRUE(parse);
    ASSERT_EQ(parse->events.size(), 3u);
    const TracebackEvent& first = parse->events[0];
    EXPECT_EQ(first.start, 1u);
    EXPECT_EQ(first.end, 7u);
    ASSERT_EQ(first.frames.size(), 1u);
    // Four spaces are removed and the rest kept; a tab or a shorter indent is trimmed.
    EXPECT_EQ(first.frames[0].context, (std::vector<std::string_view>{"    nested()", "x = 1", "y"}));
    EXPECT_EQ(parse->events[1].kind, TracebackEvent::Kind::marker);
    EXPECT_EQ(parse->events[1].start, 7u);
    EXPECT_EQ(parse->events[2].kind, TracebackEvent::Kind::traceback);
}

TEST(TracebackDetector, LeavesOtherFiltersTheirText) {
    const std::string unittest_ran = "Ran 3 tests in 0.002s\n";
    struct Row {
        const char* name;
        std::string text;
        bool accepted;
    };
    const Row rows[] = {
        {"test-runner headline", "test output: pytest failure\n" + kBlock, false},
        {"ci-log headline", "  ci log: github-actions failure\n" + kBlock, false},
        {"pytest banner, any case", "===== Test Session Starts =====\n" + kBlock, false},
        {"unittest with all three signs",
         "ERROR: test_a (t.T)\n" + kBlock + "-----\n" + unittest_ran + "FAILED (errors=1)\n", false},
        {"unittest Ran line alone", kBlock + unittest_ran, true},
        {"Ran line without the final s", kBlock + "Ran 3 tests in 0.002\nOK\n-----\n", true},
        {"pytest short summary", kBlock + "=== short test summary info ===\n", false},
        {"unittest FAIL: heading", "FAIL: test_total (t.T)\n" + kBlock + unittest_ran + "FAILED (failures=1)\n", false},
        {"unittest ERROR: heading", "ERROR: test_a (t.T)\n" + kBlock + unittest_ran + "FAILED (errors=1)\n", false},
        {"unittest rule of five dashes, one test, OK", kBlock + "-----\nRan 1 test in 0.001s\nOK\n", false},
        {"a rule of four dashes is no unittest rule", kBlock + "----\nRan 1 test in 0.001s\nOK\n", true},
        {"unittest OK with skips", kBlock + "-----\n" + unittest_ran + "OK (skipped=1)\n", false},
        {"workflow command", "::error::x\n" + kBlock, false},
        {"workflow warning", "::warning file=a.py::x\n" + kBlock, false},
        {"workflow group", "::group::Run tests\n" + kBlock, false},
        {"workflow group end", kBlock + "::endgroup::\n", false},
        {"runner annotation", kBlock + "##[error]Process completed with exit code 1.\n", false},
        {"stamped job log line", kBlock + "build\tTest\t2024-05-14T09:12:03.2604560Z done\n", false},
        {"stamp and message of 21 bytes", kBlock + "2024-05-14T09:12:3Z x\n", false},
        {"stamp and message of 20 bytes", kBlock + "2024-05-14T09:1:3Z x\n", true},
    };
    for (const Row& r : rows) EXPECT_EQ(accepted(r.text), r.accepted) << r.name;
}

// Text that is mostly something else keeps its own lines: a service log
// whose errors mostly have no traceback, a shell transcript with one, and
// an exception group (whose header is not a plain traceback header).
TEST(TracebackDetector, DeclinesTextThatIsMostlyNotTracebacks) {
    for (const char* name : {"service_log.txt", "bash_x.txt", "exception_group.txt"}) {
        const std::string in = test_support::read_test_file(std::string("filters/traceback/data/") + name);
        ASSERT_FALSE(in.empty()) << name;
        EXPECT_FALSE(accepted(in)) << name;
        EXPECT_EQ(filters::traceback::reducer::compress_traceback_output(in), in) << name;
    }
    // As many other lines as traceback lines is still a traceback with output.
    EXPECT_TRUE(accepted("a\nb\n\nc\nd\n" + kBlock));
    EXPECT_FALSE(accepted("a\nb\nc\nd\n" + kBlock + "e\n"));
}

}  // namespace
