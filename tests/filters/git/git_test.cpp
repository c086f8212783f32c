#include "filters/git/git.h"

#include <gtest/gtest.h>

#include "filters/git/types.h"

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
        EXPECT_FALSE(filters::git::try_compress_git_output(t)) << t;
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
