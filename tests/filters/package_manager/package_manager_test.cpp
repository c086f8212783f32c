#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../../support.h"
#include "filters/package_manager/detector.h"
#include "filters/package_manager/reducer.h"
#include "text.h"

namespace {

using filters::package_manager::detector::detect_package_manager_log;
using filters::package_manager::detector::may_be_package_manager_log;
using filters::package_manager::detector::worth_detecting;
using filters::package_manager::reducer::compress_package_manager_output;

// "manager status" as the headline would name it, or "-" when declined.
std::string verdict(const std::string& text) {
    const auto log = detect_package_manager_log(text::split_on_newline(text));
    if (!log) return "-";
    return log->manager + " " + (log->failure ? "failure" : log->warning ? "warning" : "success");
}

using test_support::Case;

TEST(PackageManagerDetector, EvidenceAndVerdict) {
    std::vector<Case> cases = {
        {"one line", "added 3 packages, and audited 4 packages in 1s", "-"},
        {"three lines, score 2", "added 3 packages in 1s\nfound 0 vulnerabilities\nok", "-"},
        {"four lines, score 2", "up to date\nadded 3 packages in 1s\nfound 0 vulnerabilities\nok", "npm success"},
        {"lone npm err!", "a\nb\nnpm ERR! code E404\nc", "npm failure"},
        {"lone npm err! in three lines", "a\nnpm ERR! code E404\nc", "-"},
        {"lone npm notice", "a\nb\nnpm notice New minor version\nc", "-"},
        {"lone npm warn", "a\nb\nnpm warn deprecated x\nc", "-"},  // a warning is no failure
        {"pnpm lines without an anchor", "+ six 1.0\n+ six 1.0\nx\ny", "-"},
        {"npm vs yarn tie", "yarn.lock\nadded 2 packages\nx\ny", "yarn success"},
        {"pnpm vs npm tie", "Packages: +2\nadded 2 packages\nx\ny", "pnpm success"},
        {"gem lines need the bundler anchor", "Using rake 13.0.6\nUsing rack 3.0.8\nFetching json 2.7.1\nx", "-"},
        {"bundler with its anchor",
         "Fetching gem metadata from https://rubygems.org/\nUsing rake 13.0.6\nUsing rack 3.0.8\nBundle complete! 2 "
         "Gemfile "
         "dependencies, 2 gems now installed.",
         "bundler success"},
        {"homebrew", "==> Fetching jq\n==> Pouring jq--1.7.1.arm64_sonoma.bottle.tar.gz\nx\n\xF0\x9F\x8D\xBA  done",
         "homebrew success"},
        {"cargo",
         "    Updating crates.io index\n     Locking 2 packages to latest compatible versions\n      Adding "
         "serde v1.0.197\n   Compiling serde v1.0.197",
         "cargo success"},
        {"leading multiplication sign", "\xC3\x97 No matching distribution for six\nsee uv.lock\nrun uv sync\ny",
         "uv/pip failure"},
        {"non-zero audit warns", "added 3 packages\nfound 2 vulnerabilities (1 low, 1 high)\nx\ny", "npm warning"},
        {"clean audits do not warn", "added 3 packages\nfound 0 vulnerabilities\nNo known vulnerabilities found\ny",
         "npm success"},
        {"failure words in package names",
         "Packages: +5\n+ error-ex 1.3.2\n+ es-errors 1.3.0\n+ makeerror 1.0.12\n"
         "+ check-error 1.0.3\n+ libgpg-error0 1.46",
         "pnpm success"},
        {"failure word on its own", "added 5 packages\nfound 0 vulnerabilities\nnpm error code E404\nx", "npm failure"},
        // A failure word counts before a plural "s" and a closing full stop,
        // not where a name goes on after it.
        {"plural errors",
         "Collecting a\nCollecting b\nSuccessfully installed a-1.0 b-1.0\ndialect table: 3 dialects, 2 errors",
         "uv/pip failure"},
        {"plural failures", "Collecting a\nCollecting b\nSuccessfully installed a-1.0 b-1.0\nchecks: 2 failures",
         "uv/pip failure"},
        {"closing full stop",
         "Collecting a\nCollecting b\nSuccessfully installed a-1.0 b-1.0\nthe post-install hook failed.",
         "uv/pip failure"},
        {"failure words before dots in names",
         "Packages: +3\n+ errors.js 1.0.0\n+ error.stack 2.0.1\n+ failed...x 1.0\nx", "pnpm success"},
        // npm and uv/pip both count "audited"; npm's own count decides here.
        {"npm counts audited too", "audited 2 packages\naudited 2 packages\nadded 1 package\nx", "npm success"},
    };
    // Each failure or warning word alone sets the status of a clean npm log.
    const std::string clean = "added 3 packages in 1s\nfound 0 vulnerabilities\nx\n";
    for (const char* line : {"build error in step 3", "npm ERR! x", "code ERR_SOCKET_TIMEOUT", "the hook failed",
                             "hook failure here", "fatal: bad ref", "no solution for six", "conflict on six",
                             "could not resolve six", "SolverProblemError", "YN0001 x", "YN0028 x"})
        cases.push_back({line, clean + line, "npm failure"});
    for (const char* line : {"npm warn x", "2 vulnerable paths", "see advisory 12", "see advisories",
                             "missing peer dependency x", "unmet peer x", "YN0002 x", "YN0060 x", "YN0086 x"})
        cases.push_back({line, clean + line, "npm warning"});
    // Each evidence term alone, on two lines of four, names the manager;
    // the last line is a plain one, an anchor, or more evidence where
    // another manager counts the same line.
    struct Rows {
        const char* verdict;
        const char* last;
        std::vector<const char*> lines;
    };
    const Rows terms[] = {
        {"uv/pip success",
         "y",
         {"Collecting six", "Using cached six.whl", "Successfully installed six", "Resolved 3 packages",
          "Prepared 3 packages", "Installed 3 packages", "see uv.lock", "update the lockfile", "update the lock file",
          "run with --frozen", "run with --locked", "run uv sync", "virtual environment at venv", "Audited 3 packages",
          "+ six==1.0", "- six==1.0", "~ six==1.0"}},
        {"uv/pip failure", "y", {"No solution found"}},
        {"poetry success",
         "y",
         {"see poetry.lock", "run poetry install", "run poetry update", "Package operations: 2 installs",
          "- Installing six (1.0)", "- Updating six (1.0)", "- Upgrading six (1.0)", "- Locking six (1.0)",
          "- Downloading six (1.0)", "- Removing six (1.0)", "- Downgrading six (1.0)", "- Updating six 1.0 -> 2.0"}},
        {"poetry failure", "y", {"version solving failed", "SolverProblemError"}},
        {"poetry success", "see poetry.lock", {"Installing dependencies from lock file"}},
        {"npm success",
         "y",
         {"npm notice x", "npm http fetch x", "npm timing x", "npm verb x", "npm sill x", "added 2 packages",
          "removed 2 packages", "changed 2 packages", "updated 2 packages", "found 0 vulnerabilities",
          "run npm audit fix"}},
        {"npm warning", "y", {"npm warn x"}},
        {"npm failure", "y", {"npm ERR! x"}},
        {"pnpm success",
         "Progress: resolved 1",
         {"Progress: resolved 1", "Packages: +1", "Packages: -1", "Lockfile is up to date", "see pnpm-lock.yaml",
          "use frozen-lockfile", "run pnpm audit", "dependencies:", "devDependencies:", "peerDependencies:",
          "optionalDependencies:", "+ six 1.0", "- six v1", "+ six@1"}},
        {"pnpm warning", "Progress: resolved 1", {"see WARN_PNPM_X"}},
        {"pnpm failure", "Progress: resolved 1", {"see ERR_PNPM_X"}},
        {"yarn success",
         "y",
         {"yarn install v1.22.0", "[1/4] Resolving packages...", "[2/4] Fetching packages...",
          "[3/4] Linking dependencies...", "[4/4] Building fresh packages...", "[5/5] Building x",
          "success Saved 1 new dependency.", "Done in 1.2s.", "info Direct dependencies", "info All dependencies",
          "\xE2\x9E\xA4 YN0000: x", "see yarn.lock", "immutable install", "lockfile would have been modified"}},
        {"yarn warning", "y", {"peer dependency x", "unmet peer x"}},
        {"bun success",
         "bun install v1.1.0",
         {"bun install v1.1.0", "saved lockfile", "3 packages installed", "+ six@1.0"}},
        {"composer success",
         "see composer.json",
         {"see composer.json", "see composer.lock", "run composer audit", "Loading composer repositories",
          "Installing dependencies from lock file", "Generating autoload files", "Package operations: 0 updates",
          "Lock file operations: 1 install", "- Installing vendor/six (1.0)"}},
        {"composer warning", "see composer.json", {"security vulnerability advisories"}},
        {"composer success", "y", {"- Installing vendor/six (1.0)"}},  // poetry's dash lines hold no "/"
        {"bundler success",
         "1 gem now installed",
         {"Bundle complete!", "Bundle updated!", "see Gemfile.lock", "see rubygems.org", "Fetching gem metadata from x",
          "Using rake 13.0", "Fetching rake 13.0", "Installing rake 13.0", "2 gems now installed"}},
        {"bundler failure", "1 gem now installed", {"Bundler could not find x"}},
        {"-", "1 gem now installed", {"Using CPython 3.12.1", "Using Python 3.11.2"}},  // no gems
        {"homebrew success",
         "see formula",
         {"==> Pouring x", "==> Fetching x", "==> Downloading x", "==> Installing x", "==> Caveats", "==> Summary",
          "==> Homebrew x", "==> Autoremoving x", "/opt/homebrew/Cellar/jq", "/usr/local/Cellar/jq",
          "homebrew/homebrew-core", "brew install jq", "jq.bottle.tar.gz", "\xF0\x9F\x8D\xBA jq"}},
        {"cargo success",
         "Updating crates.io index",
         {"Updating crates.io index", "Downloading crates ...", "Locking 2 packages", "Installed package `rg`",
          "Installing rg v14.1.0", "Adding serde v1.0", "Removing serde v1.0", "Updating serde v1.0",
          "Downgrading serde v1.0"}},
        {"pre-commit success",
         "y",
         {"pre-commit installed at x", "[INFO] Initializing environment for x", "[INFO] Installing environment for x",
          "[INFO] Updating environment for x", "see .cache/pre-commit", "see pre-commit.log"}},
        {"pre-commit failure",
         "y",
         {"[ERROR] pre-commit x", "[ERROR] An unexpected error", "[ERROR] CalledProcessError", "[ERROR] log at x"}},
    };
    for (const auto& t : terms)
        for (const char* line : t.lines)
            cases.push_back({line, text::format("{}\n{}\nx\n{}", line, line, t.last), t.verdict});
    // Each anchor alone lets the manager that needs it keep its score of two.
    const Rows anchors[] = {
        {"pnpm success",
         "+ six 1.0",
         {"Progress: resolved 1", "Packages: +1", "Packages: -1", "Lockfile is up to date", "see pnpm-lock.yaml",
          "use frozen-lockfile", "run pnpm audit", "run pnpm install"}},
        {"pnpm warning", "+ six 1.0", {"see WARN_PNPM_X"}},
        {"pnpm failure", "+ six 1.0", {"see ERR_PNPM_X"}},
        {"bundler success",
         "Using rake 13.0",
         {"see Gemfile.lock", "see bundler", "see rubygems.org", "Bundle complete!", "Bundle updated!",
          "2 gems now installed", "1 gem now installed"}},
        {"homebrew success",
         "==> Pouring x",
         {"\xF0\x9F\x8D\xBA jq", "see homebrew", "run brew x", "see cellar", "see bottle", "see formula", "see cask",
          "see tap"}},
    };
    for (const auto& a : anchors)
        for (const char* line : a.lines)
            cases.push_back({line, text::format("{}\n{}\nx\n{}", a.last, a.last, line), a.verdict});
    for (const auto& c : cases) {
        EXPECT_EQ(verdict(c.in), c.want) << c.name;
        // The cheap first look never turns away a log that the detector takes.
        if (c.want != "-") {
            EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(c.in))) << c.name;
        }
    }
}

TEST(PackageManagerDetector, FirstLookFindsEvidenceAnywhere) {
    const std::string filler = "2024-03-14 07:06:40 INFO request served in 12 ms\n";
    for (const char* line : {
             "  - Installing six (1.16.0)",          // indented dash action
             "\xC2\xA0npm WARN deprecated a@1.0.0",  // no-break space before the start
             "Resolved 12 packages in 3ms",          // a count of packages
             "see uv.lock for the pins",             // a phrase inside the line
             "Writing lock file",                    //
             "[INFO] Installing environment for https://github.com/psf/black.",
             "Generating autoload files",      //
             "bun install v1.1.0 (5f0b2b8d)",  //
             "   Installed package `ripgrep v14.1.0` (executable `rg`)",
             "\xE2\x9E\xA4 YN0000: \xE2\x94\x8C Resolution step",  //
             "\xF0\x9F\x8D\xBA  /opt/homebrew/Cellar/jq/1.7.1: 19 files",
             "==> Pouring jq--1.7.1.bottle.tar.gz",  //
             "dependencies:",                        //
             "[3/4] Linking dependencies...",        //
         }) {
        const std::string text = filler + filler + line + "\n" + filler;
        EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(text))) << line;
    }
    EXPECT_FALSE(may_be_package_manager_log(text::LineIndex(filler + filler + filler)));
    EXPECT_FALSE(may_be_package_manager_log(text::LineIndex("diff --git a/x b/x\n+ a@1.0.0\n")));
}

TEST(PackageManagerDetector, FirstLookFindsPhrasesAtEveryOffset) {
    // Phrases inside a line, in any letter case, at every offset across the
    // scan's thirty-two-byte steps and at the very end of the text.
    const std::string filler = "2024-03-14 07:06:40 INFO request served in 12 ms\n";
    for (const char* phrase :
         {"Downloading crates ...", "Because x depends on y, version solving failed.",
          "Creating virtual environment at: .venv", "Updating crates.io index", "see .cache/pre-commit/x",
          "COMPOSER.LOCK is stale", "Using cached six-1.16.whl", "3 packages installed"}) {
        for (std::size_t pad = 0; pad < 40; pad += 3) {
            const std::string line = std::string(pad, '.') + " " + phrase;
            EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(filler + line + "\n" + filler))) << line;
            EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(filler + filler + line))) << line;
        }
    }
    // " package" counts only as a whole word: a path under "packages/"
    // scores nothing, so a status list of such paths is no log.
    std::string paths;
    for (int i = 0; i < 40; ++i) paths += text::format(" M packages/module-{}/src/index.ts\n", i);
    EXPECT_FALSE(may_be_package_manager_log(text::LineIndex(paths)));
    EXPECT_TRUE(
        may_be_package_manager_log(text::LineIndex(paths + "removed 2 packages, audited 9 packages\n" + paths)));
    EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(paths + "x 1 package")));
}

TEST(PackageManagerDetector, FirstLookReadsLineStartsInAnyCase) {
    std::string progress;
    for (int i = 0; i < 30; ++i) progress += text::format("Downloading {}%\n", i);
    EXPECT_FALSE(may_be_package_manager_log(text::LineIndex(progress)));
    for (const char* line : {"DONE IN 3.2s", "Downgrading six (1.16.0 -> 1.15.0)", "+ a@1", "- b", "npm", "[4/4] x",
                             "INSTALLING x", "==> Pouring x", "Using rake 13.0.6", "\vnpm warn x",
                             "            - Installing six (1.16.0)", "\t\tnpm warn x", "        \xC2\xA0npm warn x",
                             // a tab after spaces, and a start on the eighth byte
                             "   \tnpm warn x", "       \t+ a@1", "       + a@1", "              \t- b"}) {
        EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(progress + line + "\n" + progress)) ||
                    std::string_view(line) == "npm")
            << line;
        // Short lines at the very end of the text are read in full.
        EXPECT_EQ(may_be_package_manager_log(text::LineIndex(progress + line)),
                  may_be_package_manager_log(text::LineIndex(progress + line + "\n" + progress)))
            << line;
    }
}

// The tighter first look passes over a text only where the detector
// declines it: one line that may score, scoring once, no error or warning.
TEST(PackageManagerDetector, FirstLookAgreesOnALoneScoringLine) {
    const std::string filler = "tests/test_a.py::test_b PASSED\nok\nok\n";
    for (const char* line : {
             "collecting ... collected 240 items",        // scores once: declined
             "x 1 package",                               //
             "npm ERR! code ERESOLVE",                    // an error line
             "added 3 packages, and audited 4 packages",  // scores twice
             "see uv.lock; Collecting six",               // two terms on one line
         }) {
        const std::string text = filler + line + "\n" + filler;
        EXPECT_EQ(worth_detecting(text::LineIndex(text)), verdict(text) != "-") << line;
        EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(text))) << line;
    }
    // Two lines that may score are left to the detector.
    EXPECT_TRUE(worth_detecting(text::LineIndex(filler + "x 1 package\nsee uv.lock\n")));
}

// Past many a path under "packages/" the signs are searched apart, and
// large texts are read a chunk at a time: a sign or a line start is found
// wherever it stands, across the edges of the chunks too.
TEST(PackageManagerDetector, FirstLookFindsSignsPastPackagePathsAndChunkEdges) {
    std::string paths;
    for (int i = 0; i < 200; ++i) paths += text::format(" M packages/module-{}/src/index.ts\n", i);
    EXPECT_FALSE(may_be_package_manager_log(text::LineIndex(paths + paths)));
    for (const char* line : {"x 1 package", "removed 2 packages, audited 9 packages", "see uv.lock", "npm warn x"})
        EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(paths + line + "\n" + paths))) << line;
    EXPECT_TRUE(worth_detecting(text::LineIndex(paths + "x 1 package\n" + paths + "see uv.lock\n")));
    EXPECT_TRUE(worth_detecting(text::LineIndex(paths + "see yarn.lock\n" + paths + "x 2 packages\n")));
    // One line that scores once, and nothing else, is no log.
    EXPECT_FALSE(worth_detecting(text::LineIndex(paths + "x 1 package\n" + paths)));

    // A filler line of 50 bytes puts each offset of a sign (or of a line)
    // on the edge of a chunk of a quarter megabyte in one of the texts.
    const std::string filler = "2024-03-14 07:06:40 INFO request served in 12 ms\n";
    std::string big;
    while (big.size() < (std::size_t{1} << 18) - 100) big += filler;
    for (const char* line : {"see uv.lock", "Updating crates.io index", "x 1 package", "npm warn x"}) {
        for (std::size_t pad = 0; pad < 60; ++pad) {
            const std::string text = big + std::string(pad, '.') + "\n" + line + "\n" + big;
            EXPECT_TRUE(may_be_package_manager_log(text::LineIndex(text))) << line << " pad " << pad;
            // Inside a line a sign counts; a start only at the line's start.
            const std::string inside = big + std::string(pad, '.') + " " + line + "\n" + big;
            EXPECT_EQ(may_be_package_manager_log(text::LineIndex(inside)),
                      std::string_view(line) != "npm warn x" || pad == 0)
                << line << " pad " << pad;
        }
    }
    EXPECT_FALSE(may_be_package_manager_log(text::LineIndex(big + big)));
}

TEST(PackageManagerDetector, DeclinesOtherOutput) {
    const std::string npm = "added 3 packages in 1s\nfound 0 vulnerabilities\nx\ny\n";
    const Case cases[] = {
        {"rust compile failure", npm + "error: could not compile `x`", "-"},
        {"rust error code", npm + "error[E0308]: mismatched types", "-"},
        {"compiler arrow and gutter", npm + "--> src/main.rs:4:5\n  |", "-"},
        {"compiler arrow and error:", npm + "--> src/main.rs:4:5\nerror: bad", "-"},
        {"arrow alone is fine", npm + "--> src/main.rs:4:5", "npm success"},
        {"test result line", npm + "Test.Run ... Passed", "-"},
        {"failed test result line", npm + "Test.Run ... Failed", "-"},
        {"skipped test result line", npm + "Test.Run ... Skipped", "-"},
        {"rust warning code", npm + "warning[E0599]: no method", "-"},
        {"git diff", "diff --git a/package.json b/package.json\n" + npm, "-"},
        {"hunk", npm + "@@ -1,3 +1,4 @@", "-"},
        {"svn diff", "Index: package.json\n" + npm, "-"},
        {"unified headers", "--- a/x\n+++ b/x\n" + npm, "-"},
        // apt-get's lines score nothing (the gem line scores for bundler
        // only, which lacks its anchor), whatever "could not" says.
        {"apt-get scores nothing",
         "Setting up sl (5.02-1+b1) ...\nProcessing triggers for man-db\nFetching sl (5.02)\ninvoke-rc.d: could not "
         "determine current runlevel",
         "-"},
        // One weak line and a "could not" elsewhere is no failed install.
        {"one weak line beside a failure word",
         "Setting up sl (5.02-1+b1) ...\nProcessing triggers for man-db\nCollecting sl\ninvoke-rc.d: could not "
         "determine current runlevel",
         "-"},
        {"system package log",
         "2026-05-09 07:29:30 status installed packagekit:amd64 1.2.6-5\n2026-05-09 07:29:30 status installed "
         "packagekit-tools:amd64 1.2.6-5\n2026-05-09 07:29:12 install libgpg-error-dev:amd64 <none> 1.46-1\nx",
         "-"},
        {"diversions by vim-runtime",
         "Adding 'diversion of /a to /b by vim-runtime'\nAdding 'diversion of /c to /d by vim-runtime'\nx\ny", "-"},
    };
    for (const auto& c : cases) EXPECT_EQ(verdict(c.in), c.want) << c.name;
}

std::string changes(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += text::format("+ pkg{} 1.0.{}\n", i, i);
    return out;
}

std::string pnpm_log(const std::string& body) {
    std::string progress;
    for (int i = 1; i <= 5; ++i)
        progress += text::format("Progress: resolved {}, reused 0, downloaded {}, added 0\n", i, i);
    return "Packages: +9\n" + progress + "dependencies:\n" + body + "Done in 1s\n";
}

// pnpm's count of added packages is its final summary and stays.
const std::string kPnpmHead =
    "package manager: pnpm success\nPackages: +9\n\xE2\x80\xA6 5 package-manager progress lines "
    "omitted\ndependencies:\n";

TEST(PackageManagerReducer, PackageChangeRuns) {
    const std::string fetches =
        "npm http fetch GET 200 https://registry.npmjs.org/a 5ms (cache miss)\n"
        "npm http fetch GET 200 https://registry.npmjs.org/b 5ms (cache miss)\n"
        "npm http fetch GET 200 https://registry.npmjs.org/c 5ms (cache miss)\n";
    const std::string warn = "npm warn deprecated inflight@1.0.6: This module is not supported\n";
    const Case cases[] = {
        {"six changes stay", pnpm_log(changes(6)), kPnpmHead + changes(6) + "Done in 1s\n"},
        {"seven are cut", pnpm_log(changes(7)),
         kPnpmHead + changes(3) +
             "\xE2\x80\xA6 2 package change lines omitted\n+ pkg5 1.0.5\n+ pkg6 1.0.6\nDone in 1s\n"},
        {"eight are cut", pnpm_log(changes(8)),
         kPnpmHead + changes(3) +
             "\xE2\x80\xA6 3 package change lines omitted\n+ pkg6 1.0.6\n+ pkg7 1.0.7\nDone in 1s\n"},
        {"a blank line does not end a run", pnpm_log(changes(4) + "\n" + "+ pkg4 1.0.4\n+ pkg5 1.0.5\n+ pkg6 1.0.6\n"),
         kPnpmHead + changes(3) +
             "\xE2\x80\xA6 2 package change lines omitted\n+ pkg5 1.0.5\n+ pkg6 1.0.6\nDone in 1s\n"},
        {"another line does", pnpm_log(changes(4) + "devDependencies:\n+ pkg4 1.0.4\n+ pkg5 1.0.5\n+ pkg6 1.0.6\n"),
         kPnpmHead + changes(4) + "devDependencies:\n+ pkg4 1.0.4\n+ pkg5 1.0.5\n+ pkg6 1.0.6\nDone in 1s\n"},
        {"success drops chatter", fetches + warn + "chatter here\nadded 3 packages in 1s\n",
         "package manager: npm warning\n\xE2\x80\xA6 3 package-manager progress lines omitted\n" + warn +
             "\xE2\x80\xA6 1 package-manager progress line omitted\nadded 3 packages in 1s\n"},
        {"failure keeps it", fetches + warn + "chatter here\nnpm error code E404\nadded 3 packages in 1s\n",
         "package manager: npm failure\n\xE2\x80\xA6 3 package-manager progress lines omitted\n" + warn +
             "chatter here\nnpm error code E404\nadded 3 packages in 1s\n"},
        {"adjacent repeats once", fetches + warn + warn + "added 3 packages in 1s\n" + warn,
         "package manager: npm warning\n\xE2\x80\xA6 3 package-manager progress lines omitted\n" + warn +
             "added 3 packages in 1s\n" + warn},
        {"no final newline", fetches + warn + "added 3 packages in 1s",
         "package manager: npm warning\n\xE2\x80\xA6 3 package-manager progress lines omitted\n" + warn +
             "added 3 packages in 1s"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_package_manager_output(c.in), c.want) << c.name;
}

// Whether a line survives in an npm log: package changes and important
// lines stay, progress is counted away, and so is plain chatter unless the
// log failed.
bool kept_in_log(const std::string& line, bool failed_log) {
    std::string fetches;
    for (int i = 0; i < 10; ++i)
        fetches += text::format("npm http fetch GET 200 https://registry.npmjs.org/p{} 5ms\n", i);
    const std::string out = compress_package_manager_output(fetches + (failed_log ? "npm error code E404\n" : "") +
                                                            "added 3 packages in 1s\n" + line + "\n" + fetches);
    EXPECT_TRUE(out.starts_with("package manager: npm ")) << line;
    return text::contains(out, "\n" + line + "\n");
}

bool kept_in_success_log(const std::string& line) { return kept_in_log(line, false); }

TEST(PackageManagerReducer, LineClasses) {
    const struct {
        const char* line;
        bool kept;
    } cases[] = {
        {"+ left-pad 1.3.0", true},  // a digit in the version word
        {"+ two words", false},      //
        {"- six (1.16.0)", true},    // a later word opens with "("
        {"\xE2\x94\x9C\xE2\x94\x80 chalk@4.1.2", true},
        {"\xE2\x94\x9C\xE2\x94\x80 chalk", false},                        // a tree row without "@" or a version
        {"\xE2\x94\x9C\xE2\x94\x80\xE2\x94\xAC react-dom 18.2.0", true},  // the package an unmet peer is about
        {"Packages: +60 -4", true},                                       // pnpm's count, the only record of removals
        {"Packages: -2", true},
        {"Using rake 13.0.6", true},
        {"Using Python 3.11.2 environment at /tmp/v", false},  // progress, however it goes on
        {"Updating serde v1.0.1 -> v1.0.2", true},
        {"Updating dependencies", false},
        {"=====>   ", false},  // a drawn bar
        {"Installing collected packages: vtest", true},
        {"Downloading https://files.example.org/a.whl", false},  // progress, even with a URL
        {"see ./logs/install.txt for details", true},            // a path word
        {"( ) [ ]", false},
        {"npm WARN deprecated a@1.0.0", true},
        {"\xE2\x9E\xA4 YN0000: \xC2\xB7 Done in 1s", false},
        {"\xE2\x9E\xA4 YN0002: a@npm:1.0.0 doesn't provide b", true},
        {"\xE2\x9E\xA4 YN0000: see YN0060", false},  // an info line that names a code
        {"hint: run with --verbose", true},
        {"brew services start postgresql@16", true},
        {"just some chatter", false},
        {"~ six 1.0", true},
        {"+ six==x", true},
        {"+ six@x", true},
        {"+ six2 x", true},
        {"+ six vnext", true},
        {"+ six Vnext", false},  // "v" opens a version in lower case only
        {"\xE2\x94\x94\xE2\x94\x80 chalk@4.1.2", true},
        {"Fetching rake (13.0.6)", true},
        {"Installing rake 13.0.6", true},
        {"Using CPython 3.12.1 interpreter at x", false},
        {"Adding serde v1", true},
        {"Removing serde@1", true},
        {"Updating serde a -> b", true},
        {"Downgrading serde v2", true},
        {"Installed six@1", true},
        {"Installed six v1", true},
        {"\xC3\x97 build step exited with status 1", true},
    };
    for (const auto& c : cases) EXPECT_EQ(kept_in_success_log(c.line), c.kept) << c.line;
    // One row per entry of the word lists: each decides whether its line
    // stays. Progress lines go even from a failed log, which keeps plain
    // chatter.
    for (const char* line :
         {"Collecting six", "Downloading six.whl", "Downloaded six", "Using cached six.whl", "Fetching six",
          "Resolving six", "Resolve six", "Resolved, downloaded and extracted", "Preparing metadata",
          "Prepared metadata", "Building wheel for six", "Created wheel for six", "Stored in directory x",
          "Requirement already satisfied: six", "Installing build dependencies", "Getting requirements to build wheel",
          "Checking if build backend supports x", "Using CPython 3.12.1", "Using Python 3.11.2", "Creating virtualenv x",
          "Creating virtual environment", "npm http fetch GET 200 x", "npm timing x", "npm sill x", "npm verb x",
          "Loading composer repositories", "Updating dependencies", "Generating optimized autoload files",
          "Fetching gem metadata", "Progress: resolved 1", "Already up to date",
          "info There appears to be trouble with your network connection",
          "info Visit https://yarnpkg.com/en/docs/cli/install for documentation", "==> Fetching jq",
          "==> Downloading jq", "==> Pouring jq", "==> Installing jq", "==> Autoremoving 2 formulae",
          "[INFO] Initializing environment for x", "[INFO] Installing environment for x",
          "[INFO] Updating environment for x", "[INFO] Once installed this environment will be reused.",
          "[INFO] This may take a few minutes...", "[INFO] Stashing unstaged files to x", "[INFO] Restored changes",
          "Updating crates.io index", "Downloading crates ...", "Compiling six", "Checking six", "Fresh six",
          "Installing six v1", "[1/4] Resolving packages", "[2/4] Fetching packages", "[3/4] Linking dependencies",
          "[4/4] Building fresh packages", "[5/5] Building x", "\xE2\x9E\xA4 YN0000: Resolution step",
          "\xE2\x9E\xA4 YN0000: Fetch step", "\xE2\x9E\xA4 YN0000: Link step", "\xE2\x9E\xA4 YN0000: Done",
          "\xE2\x9E\xA4 YN0000: Completed", "\xE2\x9E\xA4 YN0000: Yarn 4.0"})
        EXPECT_FALSE(kept_in_log(line, true)) << line;
    // Final summaries, error and warning words (on progress lines, which
    // they alone keep) and hints stay even in a successful log.
    for (const char* line :
         {"Successfully installed six", "Installing collected packages: six", "Package operations: 1 install",
          "Bundle complete!", "Bundle updated!", "2 gems now installed", "Bundled gems are installed into vendor",
          "Generating autoload files", "update the lockfile", "update the lock file", "frozen", "six is locked",
          "immutable install", "peer dependencies missing", "unmet peer x", "Creating virtual environment at: venv",
          "pre-commit installed at hooks", "Check the log at log.txt", "1 vulnerability", "2 vulnerabilities",
          "Installed 2 packages in 5ms", "Prepared 2 packages", "Resolved 3 packages", "audited 4 packages",
          "added 2 packages", "removed 2 packages", "changed 2 packages", "updated 2 packages",
          "3 packages installed", "1 package installed", "dependencies:", "devDependencies:", "peerDependencies:",
          "optionalDependencies:", "Done in 1s", "success Saved 1 new dependency.", "info Direct dependencies",
          "info All dependencies", "==> Caveats", "==> Summary", "\xF0\x9F\x8D\xBA done",
          "\xE2\x9E\xA4 YN0002 x", "\xE2\x9E\xA4 YN0060 x", "\xE2\x9E\xA4 YN0086 x", "Downloading six: error",
          "Downloading six: err!", "Downloading six: err_x", "Downloading six: warn", "Downloading six: failed",
          "Downloading six: failure", "Downloading six: fatal", "Downloading six: could not", "hint: x", "note: x",
          "help: x", "run npm audit fix", "run composer audit", "to address all issues, run x",
          "Because six depends on x", "six requires x but y", "fixed in: 1.2", "advisory: x", "severity: high",
          "name: six", "version: 1.2", "| Package | x", "| Severity | x", "| CVE | x", "| Title | x",
          "| Affected versions | x", "see cve-2024-1", "see ghsa-x", "six | high", "six | critical", "six | moderate",
          "six | medium", "six | low", "brew services start x", "brew link x", "brew unlink x", "brew install x",
          "brew reinstall x", "brew upgrade x", "brew start x", "brew stop x", "brew tap x", "sudo launchctl x",
          "launchctl x", "sudo systemctl x", "systemctl x", "yarn explain peer-requirements x",
          "x peer requirement y"})
        EXPECT_TRUE(kept_in_success_log(line)) << line;
}

// Real captures: the headline each must get and the lines each must keep.
TEST(PackageManagerReducer, RealCapturesKeepWhatTheReaderNeeds) {
    const struct {
        const char* file;
        const char* headline;
        std::vector<std::string> kept;
    } cases[] = {
        {"pnpm_add_removals_unmet_peer",
         "package manager: pnpm warning",
         {"Packages: +34 -29", "\xE2\x94\x9C\xE2\x94\x80\xE2\x94\xAC react-dom 18.2.0",
          "\xE2\x94\x94\xE2\x94\x80\xE2\x94\xAC react-test-renderer 18.2.0"}},
        {"pnpm_add_express", "package manager: pnpm warning", {"Packages: +114 (100% downloaded)"}},
        {"pip_install_verbose_build_errors",
         "package manager: uv/pip failure",
         {"dialects.csv:3: expected 3 fields, got 1", "dialect table: 3 dialects, 2 errors"}},
    };
    for (const auto& c : cases) {
        const std::string in = test_support::read_test_file(std::string("cases/package_manager/") + c.file + ".in");
        ASSERT_FALSE(in.empty()) << c.file;
        const std::string out = compress_package_manager_output(in);
        EXPECT_TRUE(out.starts_with(std::string(c.headline) + "\n")) << c.file;
        for (const std::string& line : c.kept)
            EXPECT_TRUE(text::contains(out, "\n" + line + "\n")) << c.file << ": " << line;
    }
}

TEST(PackageManagerReducer, ReturnsInputWhenNotSmaller) {
    // Every line kept: the headline would only add bytes.
    const std::string all_kept = "npm warn a\nnpm warn b\nadded 1 package in 1s\nnpm warn c\n";
    for (const std::string& in : {all_kept, std::string("hello\nworld\n"), std::string(), std::string("\n")})
        EXPECT_EQ(compress_package_manager_output(in), in);
}

}  // namespace
