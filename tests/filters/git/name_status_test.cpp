#include "filters/git/name_status.h"

#include <gtest/gtest.h>

#include "filters/git/paths.h"

namespace {

using filters::git::compress_git_name_status_runs;

std::string run(const std::string& in) { return compress_git_name_status_runs(in).value_or(in); }

TEST(GitNameStatus, ParseLine) {
    struct Case {
        const char* line;
        bool entry;
        const char* status = "";
        const char* path = "";
    };
    const Case cases[] = {
        {"M\tsrc/a.rs", true, "M", "src/a.rs"},
        {"X\tMakefile", true, "X", "Makefile"},
        {"R100\told.rs\tnew.rs", true, "R100", "old.rs -> new.rs"},
        {"R\told.rs\tnew.rs", true, "R", "old.rs -> new.rs"},
        {"C07\ta/x\tb/x", true, "C07", "a/x -> b/x"},
        {"A\t\"sp ace.txt\"", true, "A", "\"sp ace.txt\""},
        {"R1000\told.rs\tnew.rs", false},
        {"R10x\told.rs\tnew.rs", false},
        {"MM\tsrc/a.rs", false},
        {"m\tsrc/a.rs", false},
        {"R100\told.rs", false},
        {"M\tsrc/a.rs\tsrc/b.rs", false},
        {"R100\told.rs\tnew.rs\textra.rs", false},
        {"M\tvalue", false},
        {"\tsrc/a.rs", false},
        {"M src/a.rs", false},
        {"M\t", false},
    };
    for (const Case& c : cases) {
        auto e = filters::git::parse_git_name_status_line(c.line);
        ASSERT_EQ(e.has_value(), c.entry) << c.line;
        if (!e) continue;
        EXPECT_EQ(e->status, c.status) << c.line;
        EXPECT_EQ(e->path, c.path) << c.line;
    }
}

TEST(GitNameStatus, Runs) {
    struct Case {
        const char* name;
        std::string in, want;
    };
    const std::string deep =
        "M\tsrc/platform/filesystem/diff_sections.cpp\n"
        "M\tsrc/platform/filesystem/name_status.cpp\n"
        "M\tsrc/platform/filesystem/short_status.cpp\n"
        "M\tsrc/platform/filesystem/long_status.cpp\n"
        "A\tdocs/notes.md\n";
    const std::string deep_summary =
        "git name-status: M=4 A=1\nM:\n src/\n  platform/\n   filesystem/\n    diff_sections.cpp\n"
        "    name_status.cpp\n    short_status.cpp\n    long_status.cpp\nA:\n docs/\n  notes.md\n";
    const Case cases[] = {
        {"four short lines are cheaper than their summary",
         "M\tsrc/a.rs\nM\tsrc/b.rs\nA\tdocs/x.md\nR100\told.rs\tnew.rs\n",
         "M\tsrc/a.rs\nM\tsrc/b.rs\nA\tdocs/x.md\nR100\told.rs\tnew.rs\n"},
        {"shared directories are printed once",
         deep, deep_summary},
        {"two lines are never a run",
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n",
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n"},
        {"a blank line splits a run and each part is judged alone",
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n\n" + deep,
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n\n" + deep_summary},
        {"tab-separated key and value pairs are not paths",
         "M\tone\nA\ttwo\nD\tthree\nM\tfour\n", "M\tone\nA\ttwo\nD\tthree\nM\tfour\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.in), c.want) << c.name;
}

TEST(GitPaths, LooksPathLike) {
    struct Case {
        std::string text;
        bool path;
    };
    const Case cases[] = {
        {"src/main.rs", true},
        {"a\\b.txt", true},
        {"./x", true},
        {"README", true},
        {"Makefile", true},
        {"uv.lock", true},
        {"LICENSE", false},
        {"word", false},
        {".gitignore", false},
        {"archive.tar.gz", true},
        {"file.abcdefghijkl", true},
        {"file.abcdefghijklm", false},
        {"file.c++", false},
        {"file.tar-gz", false},
        {"file.", false},
        {"https://example.com/a/b", false},
        {"\"src/with space.rs\"", true},
        {"\"\"", false},
        {"  notes.txt  ", true},
        {std::string(296, 'x') + ".txt", true},
        {std::string(297, 'x') + ".txt", false},
    };
    for (const Case& c : cases) EXPECT_EQ(filters::git::looks_git_path_like(c.text), c.path) << c.text;
}

TEST(GitPaths, RenamesFollowTheTree) {
    auto lines = filters::git::format_git_paths({"a/x.rs", "old.rs -> new.rs", "a/y.rs", "t\tab"}, 1000);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{" a/", "  x.rs", "  y.rs", " old.rs -> new.rs", " t\tab"}));
    EXPECT_EQ(filters::git::format_git_paths({}, 1000), std::vector<std::string>{});
    // A directory entry keeps its "/" on its leaf line; the tree alone would
    // print it as if it were a file.
    // A path git printed in C quotes keeps its escapes: its backslashes are
    // no separators, so it is listed after the tree like a rename.
    lines = filters::git::format_git_paths({"\"d/na\\303\\257ve.md\"", "d/x.md", "\"d/plain.md\""}, 1000);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{" d/", "  x.md", " \"d/", "  plain.md\"", " \"d/na\\303\\257ve.md\""}));
    lines = filters::git::format_git_paths({"build/", "a/b/", "a/c.rs"}, 1000);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{" build/", " a/", "  b/", "  c.rs"}));
    EXPECT_FALSE(filters::git::format_git_paths({"a/b/c/d/e/f/g"}, 20));
}

}  // namespace
