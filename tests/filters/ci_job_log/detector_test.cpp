#include "filters/ci_job_log/detector.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "filters/ci_job_log/summary.h"
#include "text.h"

namespace {

using filters::ci_job_log::detector::detect_ci_job_log;
using filters::ci_job_log::summary::parse_ci_line;

constexpr const char* kStamp = "2024-05-14T09:12:03.2604560Z";

TEST(CiJobLogDetector, ParsesEachLineLayout) {
    struct Row {
        const char* name;
        std::string line;
        std::string message;
        std::optional<std::string> job, step;
        bool stamped;
    };
    const Row rows[] = {
        {"plain command", "  ::group::Build", "::group::Build", {}, {}, false},
        {"raw stamp", std::string(kStamp) + " ##[error]boom", "##[error]boom", {}, {}, true},
        {"stamp without fraction", "2024-05-14T09:12:03Z Run make", "Run make", {}, {}, true},
        {"impossible values still a stamp", "2024-99-99T99:99:99Z hi", "hi", {}, {}, true},
        {"fraction point without digits", "2024-05-14T09:12:03.Z hi", "2024-05-14T09:12:03.Z hi", {}, {}, false},
        {"no final Z", "2024-05-14T09:12:03 hi", "2024-05-14T09:12:03 hi", {}, {}, false},
        {"space for T", "2024-05-14 09:12:03Z hi", "2024-05-14 09:12:03Z hi", {}, {}, false},
        {"offset", "2024-05-14T09:12:03+02:00 hi", "2024-05-14T09:12:03+02:00 hi", {}, {}, false},
        {"letter in fraction", "2024-05-14T09:12:03.12a4Z hi", "2024-05-14T09:12:03.12a4Z hi", {}, {}, false},
        {"lower-case z", "2024-05-14T09:12:03z hi", "2024-05-14T09:12:03z hi", {}, {}, false},
        {"stamp alone", kStamp, kStamp, {}, {}, false},
        {"tabbed", std::string("build\tRun tests\t") + kStamp + " ##[group]Run tests", "##[group]Run tests", "build",
         "Run tests", true},
        {"tabbed, blank job", std::string(" \tlint\t") + kStamp + " ok", "ok", {}, "lint", true},
        {"tabbed without stamp falls back", "build\tRun tests\tnot a stamp", "build\tRun tests\tnot a stamp", {}, {},
         false},
        {"four columns keep later tabs", std::string("build\tstep\t") + kStamp + "\ta\tb\tc", "a\tb\tc", "build",
         "step", true},
    };
    for (const Row& r : rows) {
        const auto got = parse_ci_line(r.line);
        EXPECT_EQ(got.message, r.message) << r.name;
        EXPECT_EQ(got.job ? std::optional<std::string>(std::string(*got.job)) : std::nullopt, r.job) << r.name;
        EXPECT_EQ(got.step ? std::optional<std::string>(std::string(*got.step)) : std::nullopt, r.step) << r.name;
        EXPECT_EQ(got.has_timestamp, r.stamped) << r.name;
    }
}

TEST(CiJobLogDetector, AcceptsOnlyLogsWithWorkflowCommands) {
    const std::string s = kStamp;
    struct Row {
        const char* name;
        std::string text;
        bool accepted;
    };
    const Row rows[] = {
        {"two stamped commands among plain lines", "hello\n" + s + " ::group::x\n" + s + " ##[endgroup]\nbye\n",
         true},
        {"one stamped command and two stamps", s + " ##[error]x\n" + s + " a\nplain\n", true},
        {"untimestamped warnings only", "::warning::a\n::warning::b\ntext\n", true},
        {"two commands and a group", "::group::a\nx\n::endgroup::\n", true},
        {"two debug commands, nothing else", "::debug::a\n::debug::b\nplain\n", false},
        {"one error among plain lines", "::error::boom\nplain\nmore\n", false},
        {"tabbed lines without a command", "j\ts\t" + s + " a\nj\ts\t" + s + " b\nj\ts\t" + s + " c\n", false},
        {"tabbed lines and one command", "j\ts\t" + s + " a\nj\ts\t" + s + " ##[debug]b\nj\ts\t" + s + " c\n", true},
        {"fewer than three non-blank lines", "::group::a\n\n\n::endgroup::\n", false},
        {"a command inside other text", "std::error_code\nfoo ::error::x\n#include <a>\n##[\n", false},
        {"group without a title still counts", "##[group]\n::group::   \n" + s + " x\n" + s + " y\n", true},
        {"command after non-ASCII white space", "\u00a0::group::a\n\u2003::warning::b\nx\n", true},
        {"empty", "", false},
    };
    for (const Row& r : rows) {
        const text::LineIndex lines(r.text);
        EXPECT_EQ(detect_ci_job_log(lines).has_value(), r.accepted) << r.name;
    }
}

TEST(CiJobLogDetector, FailureAndWarningSignals) {
    struct Row {
        const char* name;
        std::string text;
        bool failure, warning;
    };
    const Row rows[] = {
        {"error annotation", "::group::a\n##[error]x\n::endgroup::\n", true, false},
        {"upper-case ERROR: prefix", "::group::a\nERROR: bad\n::endgroup::\n", true, false},
        {"exit code phrase", "::group::a\nmake: *** Error: failed with exit code 2\n::endgroup::\n", true, false},
        {"word failed later on", "::group::a\nthe cache failed to restore\n::endgroup::\n", false, false},
        {"Warning: prefix", "::group::a\nWarning: old\n::endgroup::\n", false, true},
        {"lower-case warning: prefix", "::group::a\nwarning: old\n::endgroup::\n", false, false},
        {"both", "::warning::w\n::error::e\n::group::g\n", true, true},
    };
    for (const Row& r : rows) {
        const text::LineIndex lines(r.text);
        const auto got = detect_ci_job_log(lines);
        ASSERT_TRUE(got) << r.name;
        EXPECT_EQ(got->has_failure, r.failure) << r.name;
        EXPECT_EQ(got->has_warning, r.warning) << r.name;
    }
}

}  // namespace
