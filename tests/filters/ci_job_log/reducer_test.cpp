#include "filters/ci_job_log/reducer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../../support.h"
#include "filters/ci_job_log/summary.h"
#include "text.h"

namespace {

using filters::ci_job_log::reducer::compress_ci_job_log_output;
using filters::ci_job_log::reducer::try_compress_ci_job_log_output;
using test_support::Case;

std::string lines(const std::string& line, int n) {
    std::string out;
    for (int i = 1; i <= n; ++i) out += line + " " + std::to_string(i) + "\n";
    return out;
}

TEST(CiJobLogReducer, Summaries) {
    const std::string s = "2024-05-14T09:12:03.2604560Z ";
    const Case cases[] = {
        {"plain lines between two steps give one counted marker",
         "::group::Run make\n::endgroup::\n" + lines("compiling unit", 10) + "::group::Run test\n::endgroup::\n",
         "ci log: github-actions success\nstep: Run make\n… 10 noisy lines omitted\nstep: Run test\n"},
        {"a single dropped line is singular",
         "::group::Build\nnoise\n::endgroup::\n::warning::disk almost full\n::group::Pack\n" + lines("adding", 8),
         "ci log: github-actions warning\nstep: Build\n… 1 noisy line omitted\n::warning::disk almost full\n"
         "step: Pack\n… 8 noisy lines omitted\n"},
        {"failure outranks warning",
         "::warning::slow\n::group::Test\n" + lines("test passed", 6) + "::endgroup::\n::error file=a.py,line=3::bad\n",
         "ci log: github-actions failure\n::warning::slow\nstep: Test\n… 6 noisy lines omitted\n"
         "::error file=a.py,line=3::bad\n"},
        {"inside a group a Run line is ordinary output",
         "::group::Setup\nRun ./configure\n" + lines("checking for feature", 5) +
             "::endgroup::\nRun make\n::error::boom\n",
         "ci log: github-actions failure\nstep: Setup\n… 6 noisy lines omitted\nstep: Run make\n::error::boom\n"},
        {"a repeated step label gives one step line",
         s + "Run npm test\n" + s + "Run npm test\n" + s + "##[error]Process completed with exit code 1.\n",
         "ci log: github-actions failure\nstep: Run npm test\n##[error]Process completed with exit code 1.\n"},
        {"adjacent repeats are printed once, but once per step",
         "::group::A\n::error::x\n::error::x\n::endgroup::\n::group::B\n::error::x\n::endgroup::\n",
         "ci log: github-actions failure\nstep: A\n::error::x\nstep: B\n::error::x\n"},
        {"tabbed steps and group titles alternate",
         "build\tTest\t" + s + "##[group]Run pytest\nbuild\tTest\t" + s + "pytest -q\nbuild\tTest\t" + s +
             "##[endgroup]\nbuild\tTest\t" + s + "tests/test_a.py:3: AssertionError\nbuild\tTest\t" + s +
             "##[error]Process completed with exit code 1.\n",
         "ci log: github-actions failure\nstep: Run pytest\n… 1 noisy line omitted\nstep: build / Test\n"
         "tests/test_a.py:3: AssertionError\n##[error]Process completed with exit code 1.\n"},
        {"job equal to step labels with the step alone",
         "lint\tlint\t" + s + "##[debug]a\nlint\tlint\t" + s + "ok\nlint\tlint\t" + s + "fine\n",
         "ci log: github-actions success\nstep: lint\n… 3 noisy lines omitted\n"},
        {"all noise and no step: headline and one marker", s + "##[debug]x\n" + s + "##[debug]y\n" + lines("noise", 3),
         "ci log: github-actions success\n… 5 noisy lines omitted\n"},
        {"no final newline in, none out",
         "::group::a\n" + lines("unpacking", 5) + "::endgroup::\n::group::b\n::error::e",
         "ci log: github-actions failure\nstep: a\n… 5 noisy lines omitted\nstep: b\n::error::e"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compress_ci_job_log_output(c.in), c.want) << c.name;
    }
}

TEST(CiJobLogReducer, KeepsOnlyTheLinesThatMatter) {
    const struct {
        const char* line;
        bool kept;
    } rows[] = {
        {"at Object.<anonymous> (src/cart/total.test.ts:41:19)", true},
        {"Waiting on http://localhost:8080/health", true},
        {"src/app.py:12:5: E501 line too long", true},
        {"C:\\work\\app\\main.c:10: warning C4996", true},
        {"retries:3", false},
        {"see https://example.com:443/x", true},
        {"Uploaded artifact report", true},
        {"wrote out/report.xml", true},
        {"wrote report.xml", false},
        {"Job completed with result: success", true},
        {"Error: Cannot find module 'left-pad'", true},
        {"the cache failed to restore", false},
        {"make: *** [all] Error 127: exit code 127", true},
        {"warning: unused variable", false},
        {"WARNING: deprecated flag", true},
    };
    for (const auto& r : rows) {
        const std::string in = "::group::Build\n" + lines("compiling unit", 6) + r.line + "\n" +
                               lines("linking unit", 6) + "::endgroup::\n";
        const std::string out = compress_ci_job_log_output(in);
        EXPECT_EQ(text::contains(out, std::string("\n") + r.line + "\n"), r.kept) << r.line << "\n" << out;
    }
}

TEST(CiJobLogReducer, ReturnsInputWhenNotSmallerOrNotALog) {
    for (std::string in : {std::string(""), std::string("\n"), std::string("::error::a\n::warning::b\n"),
                           std::string("::group::a\n::endgroup::\n::error::x\n"), std::string("plain\ntext\nonly\n")}) {
        const text::LineIndex index(in);
        EXPECT_FALSE(try_compress_ci_job_log_output({in, index})) << in;
        EXPECT_EQ(compress_ci_job_log_output(in), in);
    }
}

// Whatever else is dropped, the lines that report a failure survive.
TEST(CiJobLogReducer, KeepsEveryFailureLineOfTheCases) {
    const std::filesystem::path dir = std::filesystem::path(QUORVANE_TEST_DATA) / "cases" / "ci_job_log";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".in") continue;
        const std::string in = test_support::read_test_file("cases/ci_job_log/" + entry.path().filename().string());
        const std::string out = compress_ci_job_log_output(in);
        ASSERT_NE(out, in) << entry.path();
        for (std::string_view line : text::split_lines(in).lines) {
            const auto parsed = filters::ci_job_log::summary::parse_ci_line(line);
            if (!filters::ci_job_log::summary::is_failure_line(parsed.message)) continue;
            ++checked;
            EXPECT_TRUE(text::contains(out, parsed.message)) << entry.path() << ": " << parsed.message;
        }
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
