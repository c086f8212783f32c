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
        {"one-digit fraction", "2024-05-14T09:12:03.5Z Run make", "Run make", {}, {}, true},
        {"a twentieth byte that is no fraction", "2024-05-14T09:12:031Z hi", "2024-05-14T09:12:031Z hi", {}, {}, false},
        {"fraction point without digits", "2024-05-14T09:12:03.Z hi", "2024-05-14T09:12:03.Z hi", {}, {}, false},
        {"no final Z", "2024-05-14T09:12:03 hi", "2024-05-14T09:12:03 hi", {}, {}, false},
        {"space for T", "2024-05-14 09:12:03Z hi", "2024-05-14 09:12:03Z hi", {}, {}, false},
        {"letter in fraction", "2024-05-14T09:12:03.12a4Z hi", "2024-05-14T09:12:03.12a4Z hi", {}, {}, false},
        {"stamp alone", kStamp, kStamp, {}, {}, false},
        {"tabbed", std::string("build\tRun tests\t") + kStamp + " ##[group]Run tests", "##[group]Run tests", "build",
         "Run tests", true},
        {"tabbed, blank job", std::string(" \tlint\t") + kStamp + " ok", "ok", {}, "lint", true},
        {"tabbed without stamp falls back",
         "build\tRun tests\tnot a stamp",
         "build\tRun tests\tnot a stamp",
         {},
         {},
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
        {"two stamped commands among plain lines", "hello\n" + s + " ::group::x\n" + s + " ##[endgroup]\nbye\n", true},
        {"one stamped command and two stamps", s + " ##[error]x\n" + s + " a\nplain\n", true},
        {"untimestamped warnings only", "::warning::a\n::warning::b\ntext\n", true},
        {"two commands and a group", "::group::a\nx\n::endgroup::\n", true},
        {"one error among plain lines", "::error::boom\nplain\nmore\n", false},
        {"tabbed lines without a command", "j\ts\t" + s + " a\nj\ts\t" + s + " b\nj\ts\t" + s + " c\n", false},
        {"tabbed lines and one command", "j\ts\t" + s + " a\nj\ts\t" + s + " ##[debug]b\nj\ts\t" + s + " c\n", true},
        {"fewer than three non-blank lines", "::group::a\n\n\n::endgroup::\n", false},
        {"a command inside other text", "std::error_code\nfoo ::error::x\n#include <a>\n##[\n", false},
        {"group without a title still counts", "##[group]\n::group::   \n" + s + " x\n" + s + " y\n", true},
        {"command after non-ASCII white space", "\u00a0::group::a\n\u2003::warning::b\nx\n", true},
        {"empty", "", false},
        // One command is enough beside two stamped lines; each command opening counts.
        {"##[ opens a command", s + " ##[debug]cache hit\n" + s + " x\nplain\n", true},
        {"::group:: opens a command", s + " ::group::Build\n" + s + " x\nplain\n", true},
        {"::endgroup:: opens a command", s + " ::endgroup::\n" + s + " x\nplain\n", true},
        {"::error opens a command", s + " ::error::boom\n" + s + " x\nplain\n", true},
        {"::warning opens a command", s + " ::warning::slow\n" + s + " x\nplain\n", true},
        {"::notice opens a command", s + " ::notice::deployed\n" + s + " x\nplain\n", true},
        {"::debug opens a command", s + " ::debug::cache hit\n" + s + " x\nplain\n", true},
        {"::set-output is no command", s + " ::set-output name=x::1\n" + s + " x\nplain\n", false},
        {"one command and a single stamp", s + " ##[error]x\nplain\nmore\n", false},
        // Two commands need a group line, two stamps or an annotation.
        {"two commands and two stamps", "::debug::a\n::notice::b\n" + s + " x\n" + s + " y\n", true},
        {"two commands and one stamp", "::debug::a\n::notice::b\n" + s + " x\nplain\n", false},
        {"two commands, one an error annotation", "::debug::a\n##[error]b\nplain\n", true},
        {"two commands and a Warning: line", "::debug::a\n::notice::b\nWarning: low disk\n", true},
        {"two commands, one a group start", "::debug::a\n::group::b\nplain\n", true},
        {"two commands, nothing else", "::debug::a\n::notice::b\nplain\n", false},
    };
    for (const Row& r : rows) {
        const text::LineIndex lines(r.text);
        EXPECT_EQ(detect_ci_job_log(lines).has_value(), r.accepted) << r.name;
    }
}

// The search for a command's opening finds it at any place, around the
// edges of the blocks it reads, after a line feed or a blank, and never
// after another byte.
TEST(CiJobLogDetector, FindsAnOpeningAtAnyPlace) {
    for (std::size_t pad = 0; pad < 140; ++pad) {
        const std::string lead(pad, 'x');
        for (const std::string& indent : {std::string(""), std::string(" "), std::string("\t")}) {
            const std::string text = lead + "\n" + indent + "::warning::a\n" + lead + "\n" + indent + "##[warning]b\nx\n";
            EXPECT_TRUE(detect_ci_job_log(text::LineIndex(text))) << pad << " '" << indent << "'";
        }
        const std::string glued = lead + "x::warning::a\n" + lead + "=##[warning]b\nx\n";
        EXPECT_FALSE(detect_ci_job_log(text::LineIndex(glued))) << pad;
    }
}

}  // namespace
