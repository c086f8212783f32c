#include <gtest/gtest.h>

#include "filters/git/long_status.h"
#include "filters/git/short_status.h"

namespace {

std::string run_long(const std::string& in) { return filters::git::compress_git_long_status(in).value_or(in); }
std::string run_short(const std::string& in) { return filters::git::compress_git_short_status(in).value_or(in); }

TEST(GitLongStatus, EntryKinds) {
    struct Case {
        const char* line;
        const char* code;
        const char* path;
    };
    const Case cases[] = {
        {"\tmodified:   src/a.rs", "modified", "src/a.rs"},
        {"\tboth modified:   src/a.rs", "both modified", "src/a.rs"},
        {"\tnew file:   docs/x.md", "new file", "docs/x.md"},
        {"\trenamed:    old.rs -> new.rs", "renamed", "old.rs -> new.rs"},
        {"\t: odd", "", "odd"},
        {"\tnotes.txt", "path", "notes.txt"},
        {"\tdir/time:12:00.log", "path", "dir/time:12:00.log"},
        {"\tModified:   x.rs", "path", "Modified:   x.rs"},
        {"\tmodified:x.rs", "path", "modified:x.rs"},
        {"\tmodified:   ", "path", "modified:"},
        {"\tweird: name.txt", "weird", "name.txt"},
    };
    for (const Case& c : cases) {
        auto e = filters::git::parse_git_long_status_entry(c.line);
        EXPECT_EQ(e.code, c.code) << c.line;
        EXPECT_EQ(e.path, c.path) << c.line;
    }
}

TEST(GitLongStatus, Headers) {
    EXPECT_EQ(filters::git::git_long_status_category("Unmerged paths:"), "Unmerged paths");
    EXPECT_EQ(filters::git::git_long_status_category("Ignored files:"), "Ignored files");
    EXPECT_FALSE(filters::git::git_long_status_category(" Untracked files:"));
    EXPECT_FALSE(filters::git::git_long_status_category("Untracked files"));
}

const std::string kStatus =
    "On branch main\n"
    "Changes not staged for commit:\n"
    "  (use \"git add/rm <file>...\" to update what will be committed)\n"
    "  (use \"git restore <file>...\" to discard changes in working directory)\n"
    "\tmodified:   src/a.rs\n"
    "\tmodified:   src/b.rs\n"
    "\tdeleted:    old.rs\n"
    "\n"
    "Untracked files:\n"
    "  (use \"git add <file>...\" to include in what will be committed)\n"
    "\tnotes.txt\n"
    "\n"
    "no changes added to commit (use \"git add\" and/or \"git commit -a\")\n";

TEST(GitLongStatus, Texts) {
    struct Case {
        const char* name;
        std::string in, want;
    };
    std::string no_hints;
    for (std::size_t pos = 0; pos < kStatus.size();) {
        std::size_t end = kStatus.find('\n', pos) + 1;
        std::string line = kStatus.substr(pos, end - pos);
        if (line.find("  (") != 0) no_hints += line;
        pos = end;
    }
    const std::string summary =
        "git status:\n"
        "On branch main\n"
        "Changes not staged for commit: modified=2 deleted=1\n"
        " modified:\n"
        " src/\n"
        "  a.rs\n"
        "  b.rs\n"
        " deleted:\n"
        " old.rs\n"
        "Untracked files: files=1\n"
        " files:\n"
        " notes.txt\n"
        "no changes added to commit (use \"git add\" and/or \"git commit -a\")\n";
    const Case cases[] = {
        {"git's text with hints", kStatus, summary},
        {"an untracked directory keeps its trailing slash",
         "On branch main\nUntracked files:\n  (use \"git add <file>...\" to include in what will be committed)\n"
         "\tbuild/generated/\n\tbuild/logs/\n\tscratch/\n",
         "git status:\nOn branch main\nUntracked files: files=3\n files:\n build/\n  generated/\n  logs/\n scratch/\n"},
        {"without hints the summary is the longer", no_hints, no_hints},
        {"the first non-blank line must be a branch line", "\nHello\n" + kStatus, "\nHello\n" + kStatus},
        {"a clean tree has no section", "On branch main\nnothing to commit, working tree clean\n",
         "On branch main\nnothing to commit, working tree clean\n"},
        {"sections with only hints and no entries anywhere",
         "On branch main\nChanges to be committed:\n  (use \"git restore --staged <file>...\" to unstage)\n",
         "On branch main\nChanges to be committed:\n  (use \"git restore --staged <file>...\" to unstage)\n"},
        {"an empty section beside a full one, renames after the tree, preamble trimmed",
         "HEAD detached at 1a2b3c4\n  indented preamble line\nChanges to be committed:\n"
         "  (use \"git restore --staged <file>...\" to unstage)\n"
         "\trenamed:    src/platform/io/old_reader.rs -> src/platform/io/reader.rs\n"
         "\trenamed:    src/platform/io/old_writer.rs -> src/platform/io/writer.rs\n"
         "\trenamed:    src/platform/io/mod.rs\n"
         "Unmerged paths:\n  (use \"git add <file>...\" to mark resolution)\n",
         "git status:\nHEAD detached at 1a2b3c4\nindented preamble line\nChanges to be committed: renamed=3\n"
         " renamed:\n src/\n  platform/\n   io/\n    mod.rs\n"
         " src/platform/io/old_reader.rs -> src/platform/io/reader.rs\n"
         " src/platform/io/old_writer.rs -> src/platform/io/writer.rs\nUnmerged paths: 0\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(run_long(c.in), c.want) << c.name;
}

TEST(GitShortStatus, ParseLine) {
    struct Case {
        const char* line;
        bool entry;
        const char* code = "";
        const char* path = "";
    };
    const Case cases[] = {
        {" M src/a.rs", true, "M", "src/a.rs"},
        {"M  src/a.rs", true, "M", "src/a.rs"},
        {"MM src/a.rs", true, "MM", "src/a.rs"},
        {"?? notes.txt", true, "??", "notes.txt"},
        {"!! build/", true, "!!", "build/"},
        {"R  old.rs -> new.rs", true, "R", "old.rs -> new.rs"},
        {"UU  spaced", true, "UU", " spaced"},
        {"   src/a.rs", false},
        {" Msrc/a.rs", false},
        {" M ", false},
        {" m src/a.rs", false},
        {"X  src/a.rs", false},
        {"#  src/a.rs", false},
        {"## main", false},
    };
    for (const Case& c : cases) {
        auto e = filters::git::parse_git_status_line(c.line);
        ASSERT_EQ(e.has_value(), c.entry) << c.line;
        if (!e) continue;
        EXPECT_EQ(e->code, c.code) << c.line;
        EXPECT_EQ(e->path, c.path) << c.line;
    }
}

TEST(GitShortStatus, Blocks) {
    struct Case {
        const char* name;
        std::string in, want;
    };
    const std::string six =
        "## main\n M src/filters/git/a.rs\n M src/filters/git/b.rs\n M src/filters/git/c.rs\n"
        " M src/filters/git/d.rs\n M src/filters/git/e.rs\n M src/filters/git/f.rs\n";
    const std::string six_summary =
        "## main\ngit status: M=6\nM:\n src/\n  filters/\n   git/\n    a.rs\n    b.rs\n    c.rs\n    d.rs\n"
        "    e.rs\n    f.rs\n";
    const Case cases[] = {
        {"short paths stay", "## main\n M src/a.rs\n M src/b.rs\n?? notes.txt\n",
         "## main\n M src/a.rs\n M src/b.rs\n?? notes.txt\n"},
        {"shared directories collapse", six, six_summary},
        {"branch lines come first wherever they stood",
         " M src/filters/git/a.rs\n M src/filters/git/b.rs\n## main...origin/main [ahead 1]\n"
         " M src/filters/git/c.rs\n M src/filters/git/d.rs\n",
         "## main...origin/main [ahead 1]\ngit status: M=4\nM:\n src/\n  filters/\n   git/\n    a.rs\n    b.rs\n"
         "    c.rs\n    d.rs\n"},
        {"branch lines alone stay", "## main\n## other\n", "## main\n## other\n"},
        {"a blank line separates blocks", six + "\n" + six, six_summary + "\n" + six_summary},
        {"an untracked directory keeps its trailing slash",
         "?? out/build/generated/\n?? out/build/logs/\n?? out/build/cache/\n?? out/build/notes.txt\n?? scratch/\n",
         "git status: ?" "?=5\n?" "?:\n out/\n  build/\n   generated/\n   logs/\n   cache/\n   notes.txt\n"
         " scratch/\n"},
        {"a path in C quotes is listed after the tree, its escapes intact",
         " M \"docs/guides/na\\303\\257ve notes.md\"\n M src/platform/io/codecs/latin1.rs\n"
         " M src/platform/io/codecs/shift_jis.rs\n M src/platform/io/codecs/utf8.rs\n",
         "git status: M=4\nM:\n src/\n  platform/\n   io/\n    codecs/\n     latin1.rs\n     shift_jis.rs\n"
         "     utf8.rs\n \"docs/guides/na\\303\\257ve notes.md\"\n"},
        {"moved paths go into the tree too",
         "R  src/platform/filesystem/watcher/a.rs -> lib/a.rs\n"
         "R  src/platform/filesystem/watcher/b.rs -> lib/b.rs\n"
         "R  src/platform/filesystem/watcher/c.rs -> lib/c.rs\n"
         "R  src/platform/filesystem/watcher/d.rs -> lib/d.rs\n",
         "git status: R=4\nR:\n src/\n  platform/\n   filesystem/\n    watcher/\n     a.rs -> lib/\n      a.rs\n"
         "     b.rs -> lib/\n      b.rs\n     c.rs -> lib/\n      c.rs\n     d.rs -> lib/\n      d.rs\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(run_short(c.in), c.want) << c.name;
}

}  // namespace
