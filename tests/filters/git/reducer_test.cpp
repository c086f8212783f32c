// The git filter through its entry point: each shape as git prints it, the
// lines at the edge of each shape's grammar, and inputs that must stay cheap.
#include "filters/git/git.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../support.h"

namespace {

using filters::git::compress_git_output;
using test_support::Case;

void expect_all(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(compress_git_output(c.in), c.want) << c.name;
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

TEST(GitReducer, LongStatus) {
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
    expect_all({
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
    });
}

// One entry in git's frame: its kind and path as the summary lists them.
TEST(GitReducer, LongStatusEntryKinds) {
    const std::string frame =
        "On branch main\nChanges not staged for commit:\n"
        "  (use \"git add <file>...\" to update what will be committed)\n"
        "  (use \"git restore <file>...\" to discard changes in working directory)\n";
    const std::pair<std::string, std::string> cases[] = {
        {"\tboth modified:   src/a.rs", "both modified=1\n both modified:\n src/\n  a.rs"},
        {"\tnew file:   docs/x.md", "new file=1\n new file:\n docs/\n  x.md"},
        {"\tdir/time:12:00.log", "files=1\n files:\n dir/\n  time:12:00.log"},
        {"\tModified:   x.rs", "files=1\n files:\n Modified:   x.rs"},
        {"\tmodified:x.rs", "files=1\n files:\n modified:x.rs"},
        {"\tweird: name.txt", "weird=1\n weird:\n name.txt"},
    };
    for (const auto& [entry, summary] : cases)
        EXPECT_EQ(compress_git_output(frame + entry + "\n"),
                  "git status:\nOn branch main\nChanges not staged for commit: " + summary + "\n")
            << entry;
    // A header with a leading blank is no header, and a text without one is no status.
    const std::string indented = "On branch main\n Untracked files:\n  (use \"git add\" to track)\n\tnotes.txt\n";
    EXPECT_EQ(compress_git_output(indented), indented);
}

TEST(GitReducer, ShortStatus) {
    const std::string six =
        "## main\n M src/filters/git/a.rs\n M src/filters/git/b.rs\n M src/filters/git/c.rs\n"
        " M src/filters/git/d.rs\n M src/filters/git/e.rs\n M src/filters/git/f.rs\n";
    const std::string six_summary =
        "## main\ngit status: M=6\nM:\n src/\n  filters/\n   git/\n    a.rs\n    b.rs\n    c.rs\n    d.rs\n"
        "    e.rs\n    f.rs\n";
    expect_all({
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
         "git status: ?"
         "?=5\n?"
         "?:\n out/\n  build/\n   generated/\n   logs/\n   cache/\n   notes.txt\n"
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
    });
}

// Lines at the edge of the short-status grammar, before a block that is
// summarised: an entry joins the block, any other line stays before it.
TEST(GitReducer, ShortStatusLineGrammar) {
    const std::string block =
        "## main\n M src/filters/git/a.rs\n M src/filters/git/b.rs\n M src/filters/git/c.rs\n"
        " M src/filters/git/d.rs\n M src/filters/git/e.rs\n M src/filters/git/f.rs\n";
    const std::pair<std::string, bool> cases[] = {
        {"!! build/", true},    {"UU  spaced", true},   {"?? notes.txt", true}, {"R  old.rs -> new.rs", true},
        {"   src/a.rs", false}, {" Msrc/a.rs", false},  {" M ", false},         {" m src/a.rs", false},
        {"X  src/a.rs", false}, {"#  src/a.rs", false},
    };
    for (const auto& [line, joins] : cases) {
        const std::string out = compress_git_output(line + "\n" + block);
        EXPECT_EQ(out.starts_with(line + "\n"), !joins) << line;
        EXPECT_TRUE(out.find("git status: M=6") != std::string::npos || joins) << line;
    }
}

TEST(GitReducer, StatRuns) {
    expect_all({
        {"summary line replaces the headline",
         " src/a.rs | 2 +-\n src/b.rs | 4 ++--\n 2 files changed, 3 insertions(+), 3 deletions(-)\n",
         "2 files changed, 3 insertions(+), 3 deletions(-)\nsrc/\n a.rs | 2 +-\n b.rs | 4 ++--\n"},
        {"without a summary the headline counts the rows",
         " src/platform/filesystem/watcher_a.rs | 2 +-\n src/platform/filesystem/watcher_b.rs | 4 ++--\n"
         " src/platform/filesystem/watcher_c.rs | 1 +",
         "git diff --stat: files=3\nsrc/\n platform/\n  filesystem/\n   watcher_a.rs | 2 +-\n"
         "   watcher_b.rs | 4 ++--\n   watcher_c.rs | 1 +"},
        {"a run is ended by a line that is not a stat or summary line",
         "lead\n src/platform/filesystem/watcher_a.rs | 2 +-\n src/platform/filesystem/watcher_b.rs | 4 ++--\n"
         " src/platform/filesystem/watcher_c.rs | 1 +\ntail\n 3 files changed\n",
         "lead\ngit diff --stat: files=3\nsrc/\n platform/\n  filesystem/\n   watcher_a.rs | 2 +-\n"
         "   watcher_b.rs | 4 ++--\n   watcher_c.rs | 1 +\ntail\n 3 files changed\n"},
        {"two runs each with its own summary",
         " src/deep/dir/a.rs | 2 +-\n src/deep/dir/b.rs | 1 +\n 2 files changed\n--\n"
         " lib/deep/dir/c.rs | 2 +-\n lib/deep/dir/d.rs | 1 +\n 2 files changed\n",
         "2 files changed\nsrc/\n deep/\n  dir/\n   a.rs | 2 +-\n   b.rs | 1 +\n--\n"
         "2 files changed\nlib/\n deep/\n  dir/\n   c.rs | 2 +-\n   d.rs | 1 +\n"},
        {"the bar is written as \" | \" however the stat was spaced",
         " src/a.rs |2 +-\n src/b.rs |  4 ++--\n src/c.rs\t| 1 +\n 3 files changed, 4 insertions(+), 3 deletions(-)\n",
         "3 files changed, 4 insertions(+), 3 deletions(-)\nsrc/\n a.rs | 2 +-\n b.rs | 4 ++--\n c.rs | 1 +\n"},
        // Rows whose line holds " | " and rows whose suffix is written out
        // stand in one run, each in its own place.
        {"spaced and unspaced bars in one run",
         " src/a.rs      | 2 +-\n src/b.rs |4 ++--\n src/deep/c.rs | 1 +\n src/d.rs\t|  10 ++++++++++\n"
         " 4 files changed, 14 insertions(+), 3 deletions(-)\n",
         "4 files changed, 14 insertions(+), 3 deletions(-)\nsrc/\n a.rs | 2 +-\n b.rs | 4 ++--\n deep/\n  c.rs | 1 +\n"
         " d.rs | 10 ++++++++++\n"},
        {"a single table-like row stays", "name | 3\n", "name | 3\n"},
        {"rows without a bar graph and without a summary are a table, not a stat run",
         "  1 | alice   |    37\n  2 | bob     |    74\n  3 | carol   |    11\n  4 | dave    |    48\n",
         "  1 | alice   |    37\n  2 | bob     |    74\n  3 | carol   |    11\n  4 | dave    |    48\n"},
        {"rows without a bar graph are still a stat run when git's summary follows",
         " src/platform/io/mode_a.sh     | 0\n src/platform/io/mode_b.sh     | 0\n 2 files changed, 0 insertions(+)\n",
         "2 files changed, 0 insertions(+)\nsrc/\n platform/\n  io/\n   mode_a.sh | 0\n   mode_b.sh | 0\n"},
        {"a path in C quotes is listed after the tree with its stat",
         " \"docs/na\\303\\257ve.md\"       | 1 +\n src/platform/io/codecs/latin1.rs | 1 +\n"
         " src/platform/io/codecs/utf8.rs   | 1 +\n 3 files changed, 3 insertions(+)\n",
         "3 files changed, 3 insertions(+)\nsrc/\n platform/\n  io/\n   codecs/\n    latin1.rs | 1 +\n"
         "    utf8.rs | 1 +\n\"docs/na\\303\\257ve.md\" | 1 +\n"},
        {"a binary row alone counts as a stat run",
         " assets/images/icons/logo_large.png     | Bin 700 -> 800 bytes\n"
         " assets/images/icons/logo_small.png     | 0\n"
         " assets/images/icons/logo_tiny.png      | 0\n",
         "git diff --stat: files=3\nassets/\n images/\n  icons/\n   logo_large.png | Bin 700 -> 800 bytes\n"
         "   logo_small.png | 0\n   logo_tiny.png | 0\n"},
    });
}

// Lines at the edge of the stat grammar, before a run that is summarised:
// a stat line joins the run (whose summary then comes first), any other
// line stays before it.
TEST(GitReducer, StatLineGrammar) {
    const std::string run =
        " src/platform/filesystem/watcher_a.rs | 2 +-\n src/platform/filesystem/watcher_b.rs | 4 ++--\n"
        " 2 files changed, 3 insertions(+), 3 deletions(-)\n";
    const std::pair<std::string, bool> cases[] = {
        {" src/platform/filesystem/mode.sh | 0", true},
        {" src/platform/filesystem/x.bin | -", true},
        {" src/platform/filesystem/logo.png | Bin   anything at all", true},
        {" src/platform/filesystem/y.rs | 2\t+-", true},
        {" src/platform/filesystem/z.rs | - ++", true},
        {" x | Bin", false},
        {" x |", false},
        {" | 3 ++", false},
        {"--- a/x | 3", false},
        {"+++ b | 3", false},
        {" x | 2 +- extra", false},
        {" x | 2 x", false},
        {" x | +2", false},
        {" x | 2a", false},
        {"  12 |     return 0;", false},
    };
    for (const auto& [line, joins] : cases)
        EXPECT_EQ(compress_git_output(line + "\n" + run).starts_with("2 files changed"), joins) << line;
    // The summary line: a number, then " file(s) changed".
    const std::pair<std::string, bool> summaries[] = {
        {"3 files changed", true},
        {" total 3 files changed", false},
        {" 3files changed", false},
        {" 3 filez changed", false},
    };
    const std::string rows =
        " src/platform/filesystem/watcher_a.rs | 2 +-\n src/platform/filesystem/watcher_b.rs | 4 ++--\n"
        " src/platform/filesystem/watcher_c.rs | 1 +\n";
    for (const auto& [line, summary] : summaries)
        EXPECT_EQ(compress_git_output(rows + line + "\n").starts_with("git diff --stat:"), !summary) << line;
}

TEST(GitReducer, NameStatusRuns) {
    const std::string deep =
        "M\tsrc/platform/filesystem/diff_sections.cpp\n"
        "M\tsrc/platform/filesystem/name_status.cpp\n"
        "M\tsrc/platform/filesystem/short_status.cpp\n"
        "M\tsrc/platform/filesystem/long_status.cpp\n"
        "A\tdocs/notes.md\n";
    const std::string deep_summary =
        "git name-status: M=4 A=1\nM:\n src/\n  platform/\n   filesystem/\n    diff_sections.cpp\n"
        "    name_status.cpp\n    short_status.cpp\n    long_status.cpp\nA:\n docs/\n  notes.md\n";
    expect_all({
        {"four short lines are cheaper than their summary",
         "M\tsrc/a.rs\nM\tsrc/b.rs\nA\tdocs/x.md\nR100\told.rs\tnew.rs\n",
         "M\tsrc/a.rs\nM\tsrc/b.rs\nA\tdocs/x.md\nR100\told.rs\tnew.rs\n"},
        {"shared directories are printed once", deep, deep_summary},
        {"two lines are never a run", "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n",
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n"},
        {"a blank line splits a run and each part is judged alone",
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n\n" + deep,
         "M\tsrc/filters/git/diff_sections.cpp\nM\tsrc/filters/git/name_status.cpp\n\n" + deep_summary},
        {"tab-separated key and value pairs are not paths", "M\tone\nA\ttwo\nD\tthree\nM\tfour\n",
         "M\tone\nA\ttwo\nD\tthree\nM\tfour\n"},
    });
}

// Lines at the edge of the name-status grammar and of the path test, before
// a run that is summarised: an entry joins the run, any other line stays.
TEST(GitReducer, NameStatusLineGrammar) {
    const std::string names =
        "M\tsrc/platform/filesystem/a.cpp\nM\tsrc/platform/filesystem/b.cpp\nM\tsrc/platform/filesystem/c.cpp\n"
        "M\tsrc/platform/filesystem/d.cpp\nM\tsrc/platform/filesystem/e.cpp\n";
    const std::pair<std::string, bool> cases[] = {
        {"X\tMakefile", true},
        {"R100\told.rs\tnew.rs", true},
        {"C07\ta/x\tb/x", true},
        {"A\t\"sp ace.txt\"", true},
        {"A\tarchive.tar.gz", true},
        {"A\tfile.abcdefghijkl", true},
        {"A\t" + std::string(296, 'x') + ".txt", true},
        {"R1000\told.rs\tnew.rs", false},
        {"R10x\told.rs\tnew.rs", false},
        {"MM\tsrc/a.rs", false},
        {"m\tsrc/a.rs", false},
        {"R100\told.rs", false},
        {"M\tsrc/a.rs\tsrc/b.rs", false},
        {"\tsrc/a.rs", false},
        {"M\tvalue", false},
        {"A\tLICENSE", false},
        {"A\t.gitignore", false},
        {"A\tfile.abcdefghijklm", false},
        {"A\tfile.c++", false},
        {"A\thttps://example.com/a/b", false},
        {"A\t" + std::string(297, 'x') + ".txt", false},
    };
    for (const auto& [line, joins] : cases) {
        const std::string out = compress_git_output(line + "\n" + names);
        EXPECT_TRUE(out.starts_with(joins ? "git name-status:" : line + "\ngit name-status: M=5\n")) << line;
    }
}

TEST(GitReducer, Unrecognised) {
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

TEST(GitReducer, PassesRunInTurnOnEachOthersResult) {
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

TEST(GitReducer, UnitsAtTheEdgesOfTheText) {
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
    const std::string diff = "diff --git a/src/lib.rs b/src/lib.rs\nindex 3b18e51..a7c9d10 100644\n@@ -1 +1 @@\n-a\n+b";
    const std::string diff_short = "diff --git a/src/lib.rs b/src/lib.rs\n@@ -1 +1 @@\n-a\n+b";
    // A section that saves nothing: no index line, context shorter than
    // its marker.
    const std::string diff_kept = "diff --git a/s b/s\n@@ -1,3 +1,3 @@\n x\n-a\n+b\n y";
    expect_all({
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
    });
}

// A text of short lines is looked over byte-wise, in chunks and blocks of
// chunks: each shape is found wherever its line and the blanks after a
// stat's "|" fall against those edges, and a source gutter's "|" followed
// by blanks and code is no stat however far the blanks run.
TEST(GitReducer, ShapesFoundWhereverTheyFallInShortLines) {
    std::string lead;
    for (int i = 0; i < 1010; ++i) lead += "  {\n";
    const std::string status =
        "## main\n M src/filters/git/a.rs\n M src/filters/git/b.rs\n M src/filters/git/c.rs\n"
        " M src/filters/git/d.rs\n M src/filters/git/e.rs\n?? src/filters/git/f.rs\n";
    const std::string names =
        "M\tsrc/platform/filesystem/a.cpp\nM\tsrc/platform/filesystem/b.cpp\nM\tsrc/platform/filesystem/c.cpp\n";
    for (std::size_t shift = 0; shift < 70; ++shift) {
        const std::string before = lead + std::string(shift, 'x') + "\n";
        for (std::size_t blanks : {1, 17, 40}) {
            const std::string gap(blanks, ' ');
            const std::string stat = " src/platform/filesystem/watcher_a.rs |" + gap + "2 +-\n" +
                                     " src/platform/filesystem/watcher_b.rs |" + gap + "4 ++--\n";
            EXPECT_EQ(compress_git_output(before + stat), before + compress_git_output(stat)) << shift << " " << blanks;
            const std::string gutter = "  12 |" + gap + "return 0;\n      |" + gap + "^\n";
            EXPECT_EQ(compress_git_output(before + gutter + gutter), before + gutter + gutter) << shift;
        }
        EXPECT_EQ(compress_git_output(before + status), before + compress_git_output(status)) << shift;
        EXPECT_EQ(compress_git_output(before + names), before + compress_git_output(names)) << shift;
    }
    for (const std::string* shape : {&status, &names})
        ASSERT_NE(compress_git_output(*shape), *shape);
}

TEST(GitReducer, PsqlResultIsNotRelabelled) {
    const std::string table = test_support::read_test_file("filters/git/data/psql_numeric_table.txt");
    ASSERT_GT(table.size(), 500u);
    EXPECT_EQ(compress_git_output(table), table);
}

TEST(GitReducer, HostileShapesStayCheap) {
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

TEST(GitReducer, DeepPathLineStaysCheap) {
    // One 1 MB line of a path with half a million levels: its tree would
    // print about 10^11 indent bytes.
    std::string line;
    line.reserve(1 << 20);
    while (line.size() < (1 << 20)) line += "a/";
    line += "a | 1 +\n";
    EXPECT_EQ(filters::git::compress_git_output(line), line);
    std::string lines = line + " 1 file changed, 1 insertion(+)\n";
    EXPECT_EQ(filters::git::compress_git_output(lines), lines);
}

}  // namespace
