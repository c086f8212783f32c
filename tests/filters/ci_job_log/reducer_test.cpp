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

// A warning, a line that may announce a step, ten plain lines and an error.
std::string announced(const std::string& line) {
    return "::warning::slow\n" + line + "\n" + lines("unpacking", 10) + "::error::boom\n";
}

std::string announced_summary(const std::string& label) {
    return "ci log: github-actions failure\n::warning::slow\nstep: " + label +
           "\n… 10 noisy lines omitted\n::error::boom\n";
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
        {"Post announces a step", announced("Post Run actions/checkout@v4"),
         announced_summary("Post Run actions/checkout@v4")},
        {"Complete job announces a step", announced("Complete job"), announced_summary("Complete job")},
        {"Set up job announces a step", announced("Set up job"), announced_summary("Set up job")},
        {"Prepare announces a step", announced("Prepare all required actions"),
         announced_summary("Prepare all required actions")},
        {"Run announces a step", announced("Run npm ci"), announced_summary("Run npm ci")},
        {"Runner without its blank is ordinary output", announced("Runner image: ubuntu-24.04"),
         "ci log: github-actions failure\n::warning::slow\n… 11 noisy lines omitted\n::error::boom\n"},
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
        const char* status;  // the headline's word
    } rows[] = {
        {"at Object.<anonymous> (src/cart/total.test.ts:41:19)", true, "success"},
        {"Waiting on http://localhost:8080/health", true, "success"},
        {"src/app.py:12:5: E501 line too long", true, "success"},
        {"C:\\work\\app\\main.c:10: warning C4996", true, "success"},
        {"retries:3", false, "success"},
        {"see https://example.com:443/x", true, "success"},
        {"Uploaded artifact report", true, "success"},
        {"wrote out/report.xml", true, "success"},
        {"wrote report.xml", false, "success"},
        {"Job completed with result: success", true, "success"},
        {"Error: Cannot find module 'left-pad'", true, "failure"},
        {"the cache failed to restore", false, "success"},
        {"make: *** [all] Error 127: exit code 127", true, "failure"},
        {"warning: unused variable", false, "success"},
        {"WARNING: deprecated flag", true, "warning"},
        // Each start of a warning or a failure.
        {"##[warning]Node.js 16 actions are deprecated", true, "warning"},
        {"Warning: no cache found for key", true, "warning"},
        {"::error::Process exited", true, "failure"},
        {"##[error]Process exited", true, "failure"},
        {"ERROR: could not resolve host", true, "failure"},
        {"Failed to save cache entry", true, "failure"},
        {"fatal: not a git repository", true, "failure"},
        // Each phrase that says a step failed.
        {"Process completed with exit code 2.", true, "failure"},
        {"make test failed with exit code 2", true, "failure"},
        {"tests ended with exit code 13", true, "failure"},
        {"Deploy status: failure", true, "failure"},
        {"Smoke result: failure", true, "failure"},
        {"Job conclusion: failure", true, "failure"},
        // Each phrase that says a step or job ended.
        {"Workflow completed in 3m", true, "success"},
        {"Cleanup job completed", true, "success"},
        {"Upload completed with status 201", true, "success"},
        {"Deploy completed with result ok", true, "success"},
        {"Install completed successfully", true, "success"},
        {"Conclusion: skipped", true, "success"},
        // Each link and report folder.
        {"Saved traces under test-results/", true, "success"},
        {"Open playwright-report/ to view", true, "success"},
        {"Merged coverage/ lcov", true, "success"},
        {"Emptied dist/ first", true, "success"},
        {"Cleaning build/ tree", true, "success"},
        {"Rotating logs/ now", true, "success"},
        // Each report file suffix, after a "/" or a backslash.
        {"packed out/site.zip", true, "success"},
        {"packed out/site.tar.gz", true, "success"},
        {"saved out/run.log", true, "success"},
        {"saved out/notes.txt", true, "success"},
        {"saved out/index.html", true, "success"},
        {"saved out\\report.xml", true, "success"},
        {"saved out/summary.json", true, "success"},
        {"saved out/shot.png", true, "success"},
        {"saved out/shot.jpg", true, "success"},
        {"saved out/shot.gif", false, "success"},
    };
    for (const auto& r : rows) {
        const std::string in = "::group::Build\n" + lines("compiling unit", 6) + r.line + "\n" +
                               lines("linking unit", 6) + "::endgroup::\n";
        const std::string out = compress_ci_job_log_output(in);
        EXPECT_EQ(text::contains(out, std::string("\n") + r.line + "\n"), r.kept) << r.line << "\n" << out;
        EXPECT_TRUE(out.starts_with(std::string("ci log: github-actions ") + r.status + "\n")) << r.line << "\n" << out;
    }
}

TEST(CiJobLogReducer, ReturnsInputWhenTooShortNotSmallerOrNotALog) {
    for (std::string in : {std::string(""), std::string("\n"), std::string("::error::a\n::warning::b\n"),
                           std::string("::group::a\n::endgroup::\n::error::x\n"), std::string("plain\ntext\nonly\n"),
                           // a log, but its summary is the headline alone
                           std::string("::endgroup::\n::endgroup::\n::endgroup::\n")}) {
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
