#include "filters/generic_log/detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "filters/generic_log/summary.h"
#include "text.h"

namespace {

using filters::generic_log::detector::detect_generic_log;
using filters::generic_log::detector::looks_like_build_or_package_output;
using filters::generic_log::detector::looks_like_path_location_output;
namespace summary = filters::generic_log::summary;

// `n` lines "INFO: job <i> done", which form one repeated pattern.
std::vector<std::string> jobs(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(text::format("INFO: job {} done", i));
    return out;
}

std::vector<std::string> repeat(const std::string& line, int n) { return std::vector<std::string>(n, line); }

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool accepted_text(std::string_view text) { return detect_generic_log(text::LineIndex(text)).has_value(); }

bool accepted(const std::vector<std::string>& lines) { return accepted_text(text::join_lines(lines, false)); }

TEST(GenericLogDetector, Thresholds) {
    const std::string plain = "plain text line";
    const std::string warn = "WARN: disk at 91%";
    const std::string located = "level=warn caller=src/app.py:12:5 msg=reloaded";
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        bool want;
    };
    const Case cases[] = {
        {"11 nonblank lines", jobs(11), false},
        {"12 nonblank lines", jobs(12), true},
        {"blank lines do not count", jobs(11) + repeat("", 5), false},
        {"12 nonblank, 7 parsed", jobs(7) + repeat(plain, 5), false},
        {"12 nonblank, 8 parsed", jobs(8) + repeat(plain, 4), true},
        {"20 nonblank, 12 parsed", jobs(12) + repeat(plain, 8), false},
        {"20 nonblank, 13 parsed", jobs(13) + repeat(plain, 7), true},
        // The share is checked while the lines are read: never too early,
        // wherever the lines without a level stand.
        {"unparsed lines first", repeat(plain, 7) + jobs(13), true},
        {"one unparsed line too many first", repeat(plain, 8) + jobs(12), false},
        {"blank lines between", repeat(plain, 4) + repeat("", 30) + jobs(8), true},
        {"blank lines at the end", repeat(plain, 7) + jobs(13) + repeat("", 40), true},
        {"two patterns of 2", repeat(warn, 8) + jobs(2) + repeat("DEBUG: tick 1", 2), false},
        {"one pattern of 4", repeat(warn, 8) + jobs(4), false},
        {"one pattern of 5", repeat(warn, 8) + jobs(5), true},
        {"two patterns of 3", repeat(warn, 8) + jobs(3) + repeat("DEBUG: tick 1", 3), true},
        {"important lines are not counted", repeat(warn, 8) + repeat("INFO: upload 3 failed", 6), false},
        {"warnings alone are never folded", repeat(warn, 14), false},
        // A line that repeats the one before holds the same words, and no
        // more: the line after the repeats is looked into again.
        {"repeated important lines", jobs(12) + repeat("INFO: retry failed", 3), true},
        {"a refusing word after repeated lines", jobs(12) + repeat("INFO: retry failed", 3) + repeat("INFO: retry pytest", 1),
         false},
        // Lines that carry a level and begin with a path and a line number
        // (logfmt with a caller field): at 45 % of the lines the text is a
        // list of path locations, just below it still a log.
        {"45 of 100 lines are path locations", jobs(55) + repeat(located, 45), false},
        {"44 of 98 lines are path locations", jobs(54) + repeat(located, 44), true},
    };
    for (const auto& c : cases) EXPECT_EQ(accepted(c.lines), c.want) << c.name;
}

TEST(GenericLogDetector, ForeignShapes) {
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        bool want;
    };
    const Case cases[] = {
        {"nothing foreign", {}, true},
        {"another filter's headline", {"Test Output: pytest failure"}, false},
        {"diff header in any case", {"DIFF --GIT a/x b/x"}, false},
        {"traceback", {"Traceback (most recent call last):"}, false},
        {"pytest anywhere", {"INFO: running PyTest now"}, false},
        {"test runner summary", {"Tests  3 passed (3)"}, false},
        {"unittest run with verdict", {"Ran 3 tests in 0.01s", "OK"}, false},
        {"unittest run without verdict", {"Ran 3 tests in 0.01s"}, true},
        {"ci group", {"::group::build"}, false},
        {"tabbed ci step line", {"build\tUNKNOWN STEP\t2024-05-01T12:00:00.1Z line"}, false},
        {"table rule", {"a | b", "1 | 2", "3 | 4", "--+--"}, false},
        {"three pipes without a rule", {"a | b", "1 | 2", "3 | 4"}, true},
        {"build marker with parsable lines", {"Compiling app v0.1.0"}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(accepted(jobs(12) + c.extra), c.want) << c.name;

    // Pipe lines that are log lines too: the share alone decides.
    auto with_pipes = [](int piped) {
        std::vector<std::string> lines = jobs(12);
        for (int i = 0; i < piped; ++i) lines[i] += " | ok";
        return lines;
    };
    EXPECT_TRUE(accepted(with_pipes(6)));   // 50 %
    EXPECT_FALSE(accepted(with_pipes(7)));  // 58 %, at least 55 % needed
}

TEST(GenericLogDetector, PathLocations) {
    const std::pair<std::vector<std::string_view>, bool> cases[] = {
        {{"src/lib.rs:10:5: warning", "src/a.rs:3: note", "x", "y"}, true},        // 2 of 4
        {{"src/lib.rs:10:5: warning", "src/a.rs:3: note", "x", "y", "z"}, false},  // 2 of 5
        {{"src/lib.rs:10:5: warning", "x"}, false},                                // a single one
        {{"main.go:fn:12: x", "a.c:main:7", "x"}, true},                           // number in the third field
        {{"lib:10:5: x", "lib:3:1: y"}, false},                                    // no "/" or "."
        {{"src/a.rs:x:y", "src/b.rs::"}, false},
    };
    for (const auto& [lines, want] : cases) EXPECT_EQ(looks_like_path_location_output(lines), want) << lines[0];
}

// Only the first twelve phrases of the shared build and package list count.
TEST(GenericLogDetector, BuildOrPackageLines) {
    const std::pair<std::vector<std::string_view>, bool> cases[] = {
        {{"   Compiling app v0.1.0", "done"}, true},
        {{"added 3 packages in 2s", "done"}, true},
        {{"5 PACKAGES AUDITED"}, true},
        {{"Installed 3 packages", "Resolved 4 packages", "npm warn deprecated"}, false},  // not among them
        {{"Compiling app v0.1.0", "INFO: job 1 done"}, false},                            // a log line
        {{}, false},
    };
    for (const auto& [lines, want] : cases)
        EXPECT_EQ(looks_like_build_or_package_output(lines), want) << (lines.empty() ? "" : lines[0]);
}

// The line test that refuses a log with a credential is the shared one.
TEST(GenericLogDetector, SecretBearingLines) {
    const char* lines[] = {
        "INFO: db password=hunter2",     "INFO: API-KEY rotated",
        "INFO: x.api.key set",           "INFO: token=abc",
        "INFO: Authorization: Bearer x", "INFO: loaded private.key",
        "INFO: tokens=3 left",           "INFO: token bucket full",
        "INFO: secretary joined",        "INFO: api key",
        "WARN: AWS_ACCESS_KEY_ID unset",
    };
    for (const char* line : lines)
        EXPECT_EQ(accepted(jobs(12) + std::vector<std::string>{line}), !text::has_secret_like_key(line)) << line;
}

// Thousands of keys, each line counted under its own: lines with the same
// pattern share a key, others never do, and each key counts its lines.
// A line that starts with a letter is read for a level only when its first
// two letters may begin one: every level word, in any case, still counts.
TEST(GenericLogDetector, EveryBareLevelWordCounts) {
    for (std::string_view form : {"info:", "Debug:", "TRACE:", "warn:", "Warning:", "ERROR-", "fatal:", "Panic:",
                                  "alert:", "EMERG:", "notice:", "Critical:", "Level=error"}) {
        std::vector<std::string> severe;
        for (int i = 0; i < 8; ++i) severe.push_back(text::format("{} disk check {} slow", form, i));
        EXPECT_TRUE(accepted(jobs(8) + severe)) << form;
    }
    // Half the lines without a level: too few parsed lines.
    std::vector<std::string> unparsed;
    for (int i = 0; i < 8; ++i) unparsed.push_back(text::format("Informal: disk check {} slow", i));
    EXPECT_FALSE(accepted(jobs(8) + unparsed));
}

// Runs of empty lines are passed over whole; the lines after them count.
TEST(GenericLogDetector, LinesAfterLongRunsOfEmptyLines) {
    for (std::string_view empty : {"\n", "\r\n"}) {
        std::string text;
        for (int k = 0; k < 3; ++k) {
            for (int n = 0; n < 5000; ++n) text += empty;
            text += text::join_lines(jobs(6), true);
        }
        const auto log = detect_generic_log(text::LineIndex(text));
        ASSERT_TRUE(log.has_value());
        EXPECT_EQ(log->patterns.size(), 1u);
        EXPECT_EQ(log->patterns[0].count, 18u);
        std::string blank_only;
        for (int n = 0; n < 5000; ++n) blank_only += empty;
        EXPECT_FALSE(accepted_text(blank_only + "INFO: job 1 done\n"));
    }
}

TEST(GenericLogDetector, CountsManyPatternKeys) {
    const int keys = 5000;
    std::vector<std::string> lines;
    std::mt19937 rng(7);
    for (int round = 0; round < 3; ++round)
        for (int k = 0; k < keys; ++k) {
            std::string word;
            for (int n = k; n > 0 || word.empty(); n /= 26) word += static_cast<char>('a' + n % 26);
            lines.push_back(text::format("{}: step {} of job-{}", k % 2 ? "INFO" : "DEBUG", rng() % 100, word));
        }
    std::shuffle(lines.begin(), lines.end(), rng);
    const std::string joined = text::join_lines(lines, false);
    auto log = detect_generic_log(text::LineIndex(joined));
    ASSERT_TRUE(log.has_value());
    ASSERT_EQ(log->patterns.size(), static_cast<std::size_t>(keys));
    std::map<std::string, std::uint32_t> key_of;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::uint32_t key = log->line_patterns[i];
        ASSERT_LT(key, log->patterns.size());
        const std::string name = lines[i].substr(0, lines[i].find(':')) + lines[i].substr(lines[i].rfind(' '));
        auto [it, fresh] = key_of.try_emplace(name, key);
        EXPECT_EQ(it->second, key) << lines[i];
        EXPECT_EQ(log->patterns[key].count, 3u);
        EXPECT_EQ(log->pattern_of(log->patterns[key]),
                  summary::normalized_message_pattern(*summary::parse_log_line(lines[i])));
    }
    EXPECT_EQ(key_of.size(), static_cast<std::size_t>(keys));
}

}  // namespace
