#include "filters/git/git.h"

#include <gtest/gtest.h>

#include "filters/git/passes.h"

namespace {

TEST(GitLines, Split) {
    struct Case {
        std::string text;
        std::vector<std::string_view> lines;
        bool final_newline;
    };
    const Case cases[] = {
        {"", {}, false},
        {"\n", {}, true},
        {"a", {"a"}, false},
        {"a\n\nb", {"a", "", "b"}, false},
        {"a\n\n", {"a", ""}, true},
        {"\n\n", {"", ""}, true},
    };
    for (const Case& c : cases) {
        auto split = filters::git::split_git_lines(c.text);
        EXPECT_EQ(split.lines, c.lines) << c.text;
        EXPECT_EQ(split.final_newline, c.final_newline) << c.text;
    }
}

TEST(GitOutput, Unrecognised) {
    const std::string texts[] = {
        "",
        "\n",
        "Plain prose about a change.\nNothing in it is git output.\n",
        "src/main.c:12:5: error: expected ';' before '}' token\n   12 |     return 0\n      |             ^\n",
        "============ 3 passed, 1 failed in 0.12s ============",
    };
    for (const std::string& t : texts) {
        const text::LineIndex lines(t);
        EXPECT_FALSE(filters::git::try_compress_git_output(filters::FilterInput{t, lines})) << t;
        EXPECT_EQ(filters::git::compress_git_output(t), t);
    }
}

TEST(GitOutput, PassesRunInTurnOnEachOthersResult) {
    const std::string diff =
        "diff --git a/src/lib.rs b/src/lib.rs\nindex 3b18e51..a7c9d10 100644\n--- a/src/lib.rs\n+++ b/src/lib.rs\n"
        "@@ -1 +1 @@\n-a\n+b\n";
    const std::string stat =
        " src/filters/git/a.rs | 2 +-\n src/filters/git/b.rs | 4 ++--\n"
        " 2 files changed, 3 insertions(+), 3 deletions(-)";
    // The stat comes first, as git show --stat -p prints it: after a hunk
    // its lines would be taken for context.
    EXPECT_EQ(filters::git::compress_git_output(stat + "\n\n" + diff),
              "2 files changed, 3 insertions(+), 3 deletions(-)\nsrc/\n filters/\n  git/\n   a.rs | 2 +-\n"
              "   b.rs | 4 ++--\n\n"
              "diff --git a/src/lib.rs b/src/lib.rs\n--- a/src/lib.rs\n+++ b/src/lib.rs\n@@ -1 +1 @@\n-a\n+b\n");
}

TEST(GitOutput, UnitsAtTheEdgesOfTheText) {
    const std::string six_status =
        " M src/filters/git/a.rs\n M src/filters/git/b.rs\n M src/filters/git/c.rs\n"
        " M src/filters/git/d.rs\n M src/filters/git/e.rs\n M src/filters/git/f.rs";
    const std::string six_summary =
        "git status: M=6\nM:\n src/\n  filters/\n   git/\n    a.rs\n    b.rs\n    c.rs\n    d.rs\n    e.rs\n    f.rs";
    const std::string stat =
        " src/filters/git/a.rs | 2 +-\n src/filters/git/b.rs | 4 ++--\n"
        " 2 files changed, 3 insertions(+), 3 deletions(-)";
    const std::string stat_summary =
        "2 files changed, 3 insertions(+), 3 deletions(-)\nsrc/\n filters/\n  git/\n   a.rs | 2 +-\n"
        "   b.rs | 4 ++--";
    const std::string names =
        "M\tsrc/platform/filesystem/a.cpp\nM\tsrc/platform/filesystem/b.cpp\nM\tsrc/platform/filesystem/c.cpp";
    const std::string names_summary =
        "git name-status: M=3\nM:\n src/\n  platform/\n   filesystem/\n    a.cpp\n    b.cpp\n    c.cpp";
    const std::string diff =
        "diff --git a/src/lib.rs b/src/lib.rs\nindex 3b18e51..a7c9d10 100644\n@@ -1 +1 @@\n-a\n+b";
    const std::string diff_short = "diff --git a/src/lib.rs b/src/lib.rs\n@@ -1 +1 @@\n-a\n+b";
    // A section that saves nothing: no index line, context shorter than
    // its marker.
    const std::string diff_kept = "diff --git a/s b/s\n@@ -1,3 +1,3 @@\n x\n-a\n+b\n y";
    struct Case {
        const char* name;
        std::string in, want;
    };
    const Case cases[] = {
        {"status block ends the text without a newline", six_status, six_summary},
        {"status block after a leading blank line", "\n" + six_status + "\n", "\n" + six_summary + "\n"},
        {"stat run ends the text without a newline", "lead\n" + stat, "lead\n" + stat_summary},
        {"stat run is the whole text", stat + "\n", stat_summary + "\n"},
        {"name-status run ends the text", "x\n" + names, "x\n" + names_summary},
        {"name-status run after a tab line that is no entry", "a\tb\n" + names + "\n", "a\tb\n" + names_summary + "\n"},
        {"diff section ends the text without a newline", diff, diff_short},
        // After a hunk, status lines would be context lines of the section.
        {"status block before a diff section that changed", six_status + "\n\n" + diff + "\n",
         six_summary + "\n\n" + diff_short + "\n"},
        {"status block before a diff section that saves nothing", six_status + "\n\n" + diff_kept,
         six_summary + "\n\n" + diff_kept},
        {"status block after a section without hunks, which saves nothing",
         "diff --git a/a.rs b/b.rs\nsimilarity index 100%\nrename from a.rs\nrename to b.rs\n\n" + six_status,
         "diff --git a/a.rs b/b.rs\nsimilarity index 100%\nrename from a.rs\nrename to b.rs\n\n" + six_summary},
        {"only blank lines", "\n\n\n", "\n\n\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(filters::git::compress_git_output(c.in), c.want) << c.name;
}

TEST(GitOutput, HostileShapesDoNotBlowUp) {
    std::string deep_status = "## main\n M ";
    for (int i = 0; i < 200000; ++i) deep_status += "d/";
    deep_status += "f.rs\n M x/y.rs\n";
    EXPECT_EQ(filters::git::compress_git_output(deep_status), deep_status);

    std::string deep_names = "M\t";
    for (int i = 0; i < 140; ++i) deep_names += "d/";
    deep_names += "f.rs\n";
    std::string names = deep_names + deep_names + deep_names;
    EXPECT_EQ(filters::git::compress_git_output(names), names);

    std::string long_line(1 << 20, 'x');
    EXPECT_EQ(filters::git::compress_git_output(long_line + "\n"), long_line + "\n");
}

}  // namespace
