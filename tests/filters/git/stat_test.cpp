#include "filters/git/stat.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "filters/git/git.h"

namespace {

using filters::git::compress_git_stat_runs;
using filters::git::parse_git_stat_line;

std::string run(const std::string& in) { return compress_git_stat_runs(in).value_or(in); }

TEST(GitStat, ParseLine) {
    struct Case {
        const char* line;
        bool row;
        const char* path = "";
        const char* suffix = "";
        bool graph = false;
    };
    const Case cases[] = {
        {" src/a.rs | 2 +-", true, "src/a.rs", " | 2 +-", true},
        {" src/a.rs |   12 ++++--", true, "src/a.rs", " | 12 ++++--", true},
        {" mode.sh | 0", true, "mode.sh", " | 0", false},
        {" x | -", true, "x", " | -", false},
        {" logo.png | Bin 700 -> 800 bytes", true, "logo.png", " | Bin 700 -> 800 bytes", true},
        {" logo.png | Bin   anything at all", true, "logo.png", " | Bin   anything at all", true},
        {" a | b | 3 ++", true, "a | b", " | 3 ++", true},
        {"-- | 3", true, "--", " | 3", false},
        {" x | 2\t+-", true, "x", " | 2\t+-", true},
        {" x | Bin", false},
        {" x |", false},
        {" | 3 ++", false},
        {"--- a/x | 3", false},
        {"+++ b | 3", false},
        {" x | 2 +- extra", false},
        {" x | 2 x", false},
        {" x | +2", false},
        {" x | 2a", false},
        {" x | - ++", true, "x", " | - ++", true},
        {"no bar here 3", false},
    };
    for (const Case& c : cases) {
        auto row = parse_git_stat_line(c.line);
        ASSERT_EQ(row.has_value(), c.row) << c.line;
        if (!row) continue;
        EXPECT_EQ(row->row.path, c.path) << c.line;
        EXPECT_EQ(row->row.suffix, c.suffix) << c.line;
        EXPECT_EQ(row->has_graph, c.graph) << c.line;
    }
}

TEST(GitStat, SummaryLine) {
    struct Case {
        const char* line;
        bool summary;
    };
    const Case cases[] = {
        {" 1 file changed, 2 insertions(+)", true},
        {" 12 files changed, 3 insertions(+), 3 deletions(-)", true},
        {"3 files changed", true},
        {" total 3 files changed", false},
        {" 3files changed", false},
        {" 3 filez changed", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(filters::git::is_git_stat_summary_line(c.line), c.summary) << c.line;
}

TEST(GitStat, Runs) {
    struct Case {
        const char* name;
        std::string in, want;
    };
    const Case cases[] = {
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
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.in), c.want) << c.name;
}

TEST(GitStat, PsqlResultIsNotRelabelled) {
    std::ifstream f(std::string(QUORVANE_TEST_DATA) + "/filters/git/data/psql_numeric_table.txt");
    std::stringstream ss;
    ss << f.rdbuf();
    std::string table = ss.str();
    ASSERT_GT(table.size(), 500u);
    EXPECT_EQ(filters::git::compress_git_output(table), table);
}

TEST(GitStat, DeepPathLineStaysCheap) {
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
