#include <gtest/gtest.h>

#include "../../support.h"
#include "filters/listing/detector.h"
#include "filters/listing/reducer.h"

namespace {

using filters::listing::detector::parse_listing_lines;
using filters::listing::reducer::compress_listing_output;
using test_support::Case;

const std::string E = "\xE2\x80\xA6";

std::optional<filters::listing::detector::ParsedListing> parse(const std::string& in) {
    const text::LineIndex lines(in);
    return parse_listing_lines(lines);
}

std::string paths(const std::string& dir, int n, const std::string& ext = ".js") {
    std::string out;
    for (int i = 0; i < n; ++i) out += dir + "/file_" + std::to_string(i) + ext + "\n";
    return out;
}

std::string repeat(const std::string& line, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += line;
    return out;
}

// The leaves of paths() one level deep in a tree.
std::string repeat_tree(const std::string& stem, int n, const std::string& ext) {
    std::string out;
    for (int i = 0; i < n; ++i) out += " " + stem + std::to_string(i) + ext + "\n";
    return out;
}

TEST(ListingDetector, Modes) {
    // Plain path list: four lines, no de-duplication, a directory suffix.
    auto plain = parse("src/main.rs\nsrc/lib.rs\nREADME.md\ndocs/\nREADME.md\n");
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->entries.size(), 5u);
    EXPECT_EQ(plain->entries[3].path, "docs");
    EXPECT_EQ(plain->entries[3].suffix, "/");

    // General listing: an echoed command before, a wc total after.
    auto wc = parse("$ wc -l src/*.rs\n  12 src/a.rs\n   1 src/b.rs\n 007 src/c.rs\n   4 src/d.rs\n  24 total\n");
    ASSERT_TRUE(wc);
    EXPECT_EQ(wc->leading_lines, std::vector<std::string>{"$ wc -l src/*.rs"});
    EXPECT_EQ(wc->trailing_lines, std::vector<std::string>{"24 total"});
    EXPECT_EQ(wc->entries[0].suffix, " [12 lines]");
    EXPECT_EQ(wc->entries[1].suffix, " [1 line]");
    EXPECT_EQ(wc->entries[2].suffix, " [7 lines]");

    // Tree drawing with a named root and its summary.
    auto drawn = parse(
        "project\n\xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80 src\n\xE2\x94\x82   \xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80 "
        "main.rs\n\xE2\x94\x82   \xE2\x94\x94\xE2\x94\x80\xE2\x94\x80 lib.rs\n\xE2\x94\x94\xE2\x94\x80\xE2"
        "\x94\x80 Cargo.toml\n\n1 directory, 3 files\n");
    ASSERT_TRUE(drawn);
    ASSERT_EQ(drawn->entries.size(), 4u);
    EXPECT_EQ(drawn->entries[1].path, "project/src/main.rs");
    EXPECT_EQ(drawn->summary_lines, std::vector<std::string>{"1 directory, 3 files"});

    // Directory sections.
    auto sections = parse("src:\nmain.rs\nlib.rs\n\ntests:\nit.rs\n");
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->entries.size(), 5u);
    EXPECT_EQ(sections->entries[3].path, "tests");
    EXPECT_EQ(sections->entries[4].path, "tests/it.rs");
    // Two headers and two names are enough.
    auto two = parse("src:\nmain.rs\ntests:\nit.rs\n");
    ASSERT_TRUE(two);
    EXPECT_EQ(two->entries.size(), 4u);
}

TEST(ListingDetector, Declines) {
    const char* declined[] = {
        "src/main.rs\nsrc/lib.rs\nREADME.md\n",               // three paths
        "src/main.rs\nsrc/lib.rs\nREADME.md\ndocs/a.md\n\n",  // a blank line, no echo or count
        "a.rs\nb.rs\n\nc.rs\nd.rs\n$ ls\n",                   // a path after the run closed
        "1 a.rs\n2 b.rs\n3 c.rs\n4 d.rs\n",                   // numbered like cat -n
        "$ find .\na.rs\nb.rs\n-----\nc.rs\nd.rs\n",          // a rule line
        "src:\nmain.rs\nlib.rs\n",                            // one section header
        ".\n|-- a\n|       `-- b\n|-- c\n",                   // two levels deeper
        ".\n|-- a.rs\n|-- b.rs\n`-- python -> python3\n",     // a symbolic link
        "drwxr-xr-x 2 root root 4096 Dec  6 src\n-rw-r--r-- 1 root root 12 Dec  6 a.rs\nx\ny\n",
        "src:\nmain.rs\ntests:\ndocs:\n",                    // one name in the sections
        "src:\nmain\ntests:\nit\n",                          // no name or header with a path shape
    };
    for (const char* in : declined) EXPECT_FALSE(parse(in)) << in;
    // More kept lines than max(8, entries / 2).
    std::string chatty = "$ find .\n" + paths("src", 4);
    for (int i = 0; i < 9; ++i) chatty += "files: " + std::to_string(i) + "\n";
    EXPECT_FALSE(parse(chatty));
    // A find error between paths is kept and the run goes on.
    auto errors = parse(
        "$ find a -name '*.rs'\na/1.rs\nfind: '/root/x': Permission denied\na/2.rs\na/3.rs\na/4.rs\nTotal: 4 files\n");
    ASSERT_TRUE(errors);
    EXPECT_EQ(errors->trailing_lines.size(), 2u);
}

// Four paths and the tree they print as, for listings with kept lines.
const std::string kFour = "src/app/main.rs\nsrc/app/lib.rs\nsrc/app/util.rs\nsrc/app/cli.rs\n";
const std::string kFourTree = "src/\n app/\n  main.rs\n  lib.rs\n  util.rs\n  cli.rs\n";

// Plain path lists, general listings with their kept lines, tree drawings;
// generated and vendor directories collapse.
TEST(ListingReducer, Listings) {
    // A line kept among the paths of a find run, and where it is printed.
    auto among_paths = [](const std::string& line) {
        return "$ find src\nsrc/app/main.rs\n" + line + "\nsrc/app/lib.rs\nsrc/app/util.rs\nsrc/app/cli.rs\n";
    };
    auto tree_then = [](const std::string& line) { return "$ find src\n" + kFourTree + line + "\n"; };
    auto long_error = [](std::size_t bytes) { return "find: '/" + std::string(bytes - 28, 'x') + "': Permission denied"; };
    std::vector<Case> cases = {
        {"seven paths under node_modules become one counted row",
         "web/app.ts\n" + paths("node_modules/react", 7) + "web/index.ts\nREADME.md\n",
         "web/\n app.ts\n index.ts\nnode_modules/\n " + E +
             " 7 generated/vendor paths omitted\n first: react/file_0.js\n"
             " last: react/file_6.js\nREADME.md\n"},
        {"a group of five is printed in full", paths("dist", 5) + "src/a.ts\n",
         "dist/\n file_0.js\n file_1.js\n file_2.js\n file_3.js\n file_4.js\nsrc/\n a.ts\n"},
        {"the first generated component decides; case forms make two groups",
         paths("./vendor/node_modules/x", 6) + paths("TARGET", 6, ".o") + paths("target", 6, ".o"),
         "vendor/\n " + E +
             " 6 generated/vendor paths omitted\n first: node_modules/x/file_0.js\n"
             " last: node_modules/x/file_5.js\nTARGET/\n " +
             E +
             " 6 generated/vendor paths omitted\n first: file_0.o\n"
             " last: file_5.o\ntarget/\n " +
             E + " 6 generated/vendor paths omitted\n first: file_0.o\n last: file_5.o\n"},
        {"directory entries count but are not first or last",
         "src/main.rs\nlib/x.rs\n" + repeat("dist/\n", 20) + "docs/a.md\n",
         "src/\n main.rs\nlib/\n x.rs\ndist/\n " + E + " 20 generated/vendor paths omitted\n first: .\ndocs/\n a.md\n"},
        {"the directory itself and its \".\" count but are neither first nor last",
         "pkg/a.js\npkg/node_modules\npkg/node_modules/x/1.js\npkg/node_modules/x/2.js\npkg/node_modules/y.js\n"
         "pkg/node_modules/w.js\npkg/node_modules/.\npkg/z.js\npkg/dist/q.js\n",
         "pkg/\n a.js\n node_modules/\n  " + E +
             " 6 generated/vendor paths omitted\n  first: x/1.js\n  last: w.js\n z.js\n dist/\n  q.js\n"},
        {"backslashes and doubled slashes name the same group",
         "web\\app.ts\nweb\\node_modules\\a\\x.js\nweb\\node_modules\\a\\y.js\nweb/node_modules/b.js\n"
         "web\\node_modules\\c.js\nweb//node_modules/d.js\nweb\\node_modules\\e.js\nlib//dist/a.js\n"
         "lib/dist//b.js\nlib//dist/\nlib/dist/c.js\nlib/dist/./d.js\nlib/dist/e.js\nREADME.md\n",
         "web/\n app.ts\n node_modules/\n  " + E +
             " 6 generated/vendor paths omitted\n  first: a/x.js\n  last: e.js\nlib/\n dist/\n  " + E +
             " 6 generated/vendor paths omitted\n  first: a.js\n  last: e.js\nREADME.md\n"},
        {"a listing the tree does not shorten stays", "a.rs\nb.rs\nc.rs\nd.rs\n", "a.rs\nb.rs\nc.rs\nd.rs\n"},
        {"kept lines come around the tree",
         "$ find src -name '*.rs'\n" + paths("src/deeply/nested/module", 4, ".rs") + "exit status 0\n",
         "$ find src -name '*.rs'\nsrc/\n deeply/\n  nested/\n   module/\n    file_0.rs\n    file_1.rs\n    file_2.rs\n"
         "    file_3.rs\nexit status 0\n"},
        {"four paths make a list", kFour, kFourTree},
        {"an echo and three paths are no listing", "$ find src\nsrc/app/main.rs\nsrc/app/lib.rs\nsrc/app/util.rs\n", ""},
        {"a result of one line stays", repeat("5 main.rs\n", 4), ""},
        {"a result of two lines replaces", repeat("5 src/main.rs\n", 4), "src/\n main.rs [5 lines]\n"},
        {"three connector lines make a tree drawing", ".\n|-- alpha.rs\n|-- beta.rs\n`-- gamma.rs\n",
         "alpha.rs\nbeta.rs\ngamma.rs\n"},
        {"two do not", ".\n|-- alpha.rs\n`-- beta.rs\n", ""},
        {"every unit of indent: a bar, a box bar, a blank",
         ".\n\xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80 src\n\xE2\x94\x82   \xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80 a.rs\n"
         "|   |-- b.rs\n    `-- c.rs\n",
         "src/\n a.rs\n b.rs\n c.rs\n"},
        {"a kept line of 200 bytes", "$ find src\n# files" + std::string(193, '.') + "\n" + kFour,
         "$ find src\n# files" + std::string(193, '.') + "\n" + kFourTree},
        {"one of 201 is none", "$ find src\n# files" + std::string(194, '.') + "\n" + kFour, ""},
        {"a find error of 240 bytes among paths", among_paths(long_error(240)), tree_then(long_error(240))},
        {"one of 241 is none", among_paths(long_error(241)), ""},
        {"eight kept lines go with four entries", "$ find src\n" + repeat("files: 4\n", 7) + kFour,
         "$ find src\n" + repeat("files: 4\n", 7) + kFourTree},
        {"nine do not", "$ find src\n" + repeat("files: 4\n", 8) + kFour, ""},
        {"ten kept lines go with twenty entries", "$ find src\n" + repeat("files: 20\n", 9) + paths("src", 20),
         "$ find src\n" + repeat("files: 20\n", 9) + "src/\n" + repeat_tree("file_", 20, ".js")},
        {"eleven do not", "$ find src\n" + repeat("files: 20\n", 10) + paths("src", 20), ""},
        {"a rule line that begins with three dashes is kept", "$ find src\n--- files ---\n" + kFour,
         "$ find src\n--- files ---\n" + kFourTree},
        {"one dash reads as a diff line", "$ find src\n- files\n" + kFour, ""},
        {"three pluses are kept", "$ find src\n+++ files\n" + kFour, "$ find src\n+++ files\n" + kFourTree},
        {"one plus reads as a diff line", "$ find src\n+ files\n" + kFour, ""},
        {"wc -l ends a pipe echo", "cat notes | wc -l\n" + kFour, "cat notes | wc -l\n" + kFourTree},
        {"wc -lc does not", "cat notes | wc -lc\n" + kFour, ""},
        {"a bare wc echo needs an option", "wc src/app/main.rs\n" + kFour, ""},
        {"a prompt command is a whole word", "$ lsof src\n" + kFour, ""},
        {"a directory that only ends like a generated one is none", paths("targets", 6),
         "targets/\n" + repeat_tree("file_", 6, ".js")},
    };
    // Each line below, before four paths, lets them be a listing and is kept.
    const char* kept[] = {
        // echoed commands: after a prompt, before a pipe into wc -l, bare
        "$ find", "+ fd", "$ ls", "+ tree", "$ wc", "$ ls -la src", "du a:b | wc -l", "fd a:b | wc -l",
        "ls a:b | wc -l", "rg a:b | wc -l", "awk a:b | wc -l", "cat a:b | wc -l", "git a:b | wc -l",
        "npm a:b | wc -l", "sed a:b | wc -l", "find a:b | wc -l", "grep a:b | wc -l", "tree a:b | wc -l",
        "yarn a:b | wc -l", "python a:b | wc -l", "python3 a:b | wc -l", "find src -name '*.rs'", "fd -e rs",
        "ls -1 src", "tree -fi src", "wc -l src/app/*.rs",
        // counts
        "24 total", "total 24", "found 4 files", "4 file", "4 files", "4 path", "4 paths", "4 entry", "4 entries",
        "entries: 4", "entry: 4", "files: 4", "file: 4", "paths: 4", "path: 4", "total: 4", "total=4",
        "1 directory, 4 files", "2 directories", "1 file",
        // exit lines
        "exit: 0", "exit code: 1", "exit status: 2", "command exited: 0", "exit=0", "exit 0", "exit code 1",
        "exit status 2", "command exited 1", "exit code: -1"};
    for (const std::string line : kept) cases.push_back({line, line + "\n" + kFour, line + "\n" + kFourTree});
    // Each listing word makes a kept line of other text.
    for (const std::string word : {"artifact", "artifacts", "cache", "count", "dist", "file", "files", "find",
                                   "generated", "line count", "line counts", "listing", "node_modules", "path",
                                   "paths", "target", "vendor", "wc"}) {
        const std::string head = "$ find src\n== " + word + " ==\n";
        cases.push_back({word, head + kFour, head + kFourTree});
    }
    // Each find error word keeps the line without closing the run of paths.
    for (const std::string error : {"find: 'x': denied", "find: 'x': error", "find: 'x': failed", "find: 'x': failure",
                                    "find: 'x': not found", "find: 'x': permission", "find: 'x': warning",
                                    "du: 'src/tmp': failed", "du: 'src\\tmp': failed"})
        cases.push_back({error, among_paths(error), tree_then(error)});
    // Each connector drawing.
    for (const std::string connector : {"\xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80 ", "\xE2\x94\x94\xE2\x94\x80\xE2\x94\x80 ", "|-- ", "`-- "})
        cases.push_back({connector, ".\n" + connector + "alpha.rs\n" + connector + "beta.rs\n" + connector + "gamma.rs\n",
                         "alpha.rs\nbeta.rs\ngamma.rs\n"});
    // Each name that no tree drawing holds.
    for (const std::string name : {".", "..", "[-rw-r--r--]  a.rs", "a -> b", "a\tb", "a:b", "-rw-r--r-- a.rs"})
        cases.push_back({name, ".\n|-- alpha.rs\n|-- beta.rs\n`-- " + name + "\n", ""});
    // Every generated directory name, in either case.
    for (const std::string name : {".git", ".cache", ".gradle", ".mypy_cache", ".ruff_cache", ".next", ".nuxt",
                                   ".parcel-cache", ".pytest_cache", ".turbo", ".venv", "__pycache__", "coverage",
                                   "dist", "node_modules", "out", "target", "vendor", "venv"})
        for (const std::string& form : {name, text::to_upper(name)})
            cases.push_back({form, paths(form, 6),
                             form + "/\n " + E + " 6 generated/vendor paths omitted\n first: file_0.js\n last: file_5.js\n"});
    for (const Case& c : cases) EXPECT_EQ(compress_listing_output(c.in), c.want.empty() ? c.in : c.want) << c.name;
}

TEST(ListingDetector, LineTests) {
    using namespace filters::listing::detector;
    EXPECT_TRUE(is_tree_summary_line("3 directories, 1 files"));
    EXPECT_FALSE(is_tree_summary_line("1 files, 3 directories"));
    EXPECT_FALSE(count_unit_line("12 files found"));
    EXPECT_FALSE(count_unit_line("12 Files"));
    for (const char* t : {".", "a/b", "a\\b", "main.rs", "release-1.2"}) EXPECT_TRUE(looks_like_path(t)) << t;
    for (const char* t : {"..", "Makefile", ".env"}) EXPECT_FALSE(looks_like_path(t)) << t;
    EXPECT_TRUE(is_rg_style_line("main.rs:3:7:x"));
    EXPECT_FALSE(is_rg_style_line("src/main.rs:012:x"));
    EXPECT_FALSE(is_rg_style_line("README:12:x"));
    for (const char* t : {"src/main.rs", "./build/", "C:\\work\\a.txt", "node_modules/.bin"})
        EXPECT_TRUE(is_safe_path_line(t)) << t;
    for (const char* t : {"src/main.rs:12", "my file.rs", "http://x/y", "a|b", "Traceback.py", "../"})
        EXPECT_FALSE(is_safe_path_line(t)) << t;
    // Past the first sixteen bytes, where lines are read sixteen at a time.
    for (const char* t : {"src/platform/filesystem/watcher.rs", "C:\\work\\platform\\filesystem\\a.txt"})
        EXPECT_TRUE(is_safe_path_line(t)) << t;
    for (const char* t : {"src/platform/filesystem/my file.rs", "src/platform/filesystem/a.rs:12:3",
                          "src/platform/filesystem/a|b.rs", "src/platform/filesystem/a\tb.rs"})
        EXPECT_FALSE(is_safe_path_line(t)) << t;
    EXPECT_FALSE(is_safe_path_line(std::string(297, 'a') + ".rs/"));
    EXPECT_TRUE(is_safe_path_line(std::string(296, 'a') + ".rs/"));
    for (const char* t : {"Traceback/x.py", "\xE2\x94\x9C" "x/a.rs", "\xE2\x94\x94" "x/a.rs", "`--x/a.rs"})
        EXPECT_FALSE(is_safe_path_line(t)) << t;
    for (const char* t : {"1 directory", "2 directories", "1 file", "2 files", "2 directories, 1 file"})
        EXPECT_TRUE(is_tree_summary_line(t)) << t;
    for (const char* t : {".", "..", "-l", "a/b", "a\\b", "*.rs", "a?", "[ab", "x]", "{a", "b}"})
        EXPECT_TRUE(is_command_like_arg(t)) << t;
    for (const char c : std::string("-bcdlps")) EXPECT_TRUE(is_permission_row(c + std::string("rwxr-xr-x 1"))) << c;
    for (const char c : std::string("-STrstwx")) {
        std::string mode(11, c);
        mode.front() = '-';
        mode.back() = ' ';
        EXPECT_TRUE(is_permission_row(mode)) << c;
    }
    for (const char* t : {"xrwxr-xr-x 1", "-rwxr-xr-X 1", "-rwxr-xr-x"}) EXPECT_FALSE(is_permission_row(t)) << t;
    EXPECT_TRUE(is_command_like_arg("'*.rs'"));
    EXPECT_FALSE(is_command_like_arg("foo"));
    EXPECT_FALSE(is_command_like_arg("''"));
    EXPECT_FALSE(is_permission_row("drwxr-xr-x@ 3 me staff"));
    EXPECT_EQ(split_directory_suffix("src\\\\/"), (std::pair<std::string, std::string>{"src", "/"}));
    EXPECT_EQ(split_directory_suffix("//"), (std::pair<std::string, std::string>{"", "/"}));
    EXPECT_EQ(split_directory_suffix("/"), (std::pair<std::string, std::string>{"/", ""}));
}

}  // namespace
