#include "filters/rg/rg.h"

#include <gtest/gtest.h>

#include "../../support.h"

namespace {

using filters::rg::compress_rg_output;
using filters::rg::parse_path_location_line;
using test_support::Case;

const std::string kHits =
    "src/app/main.rs:10:    let config = load_configuration_from(path);\n"
    "src/app/main.rs:12:    let server = start_the_server(config);\n"
    "src/app/util.rs:3:pub fn load_configuration_from(path: &Path) {\n";
const std::string kTree =
    "src/\n app/\n  main.rs\n   10:    let config = load_configuration_from(path);\n"
    "   12:    let server = start_the_server(config);\n  util.rs\n   3:pub fn load_configuration_from(path: &Path) {\n";

// Real hits in a compiler's expected-output file (rustc's stderr of two
// unused variables), from: rg -n unused tests/ui
const std::string kStderrHits =
    "tests/ui/unused.stderr:1:warning: unused variable: `x`\n"
    "tests/ui/unused.stderr:2: --> unused.rs:2:9\n"
    "tests/ui/unused.stderr:7:  = note: `#[warn(unused_variables)]` (part of `#[warn(unused)]`) on by default\n"
    "tests/ui/unused.stderr:9:warning: unused variable: `v`\n"
    "tests/ui/unused.stderr:10: --> unused.rs:3:9\n";

TEST(RgReducer, Blocks) {
    std::vector<Case> cases = {
        {"hits of one file group under their path", kHits, kTree},
        {"the empty text", "", ""},
        {"a single result line stays", "src/app/main.rs:10:    let config = load_configuration_from(path);\n", ""},
        {"a tree that is not smaller keeps the lines", "a/b/c/d/e.rs:11:x\na/b/c/d/e.rs:12:y\n", ""},
        {"context lines and separators join the file that was last started",
         "src/app/main.rs-9-fn main() {\nsrc/app/main.rs:10:    let config = load_configuration_from(path);\n"
         "--\nsrc/app/main.rs:40:    let server = start_the_server(config);\n",
         "src/\n app/\n  main.rs\n   9-fn main() {\n   10:    let config = load_configuration_from(path);\n   --\n"
         "   40:    let server = start_the_server(config);\n"},
        {"a separator at the end is no part of the block", kHits + "--\n", kTree + "--\n"},
        {"a file that comes back gathers its lines; a separator joins the file started last",
         "src/app/main.rs:10:    let config = load_configuration_from(path);\n"
         "src/app/util.rs:3:pub fn load_configuration_from(path: &Path) {\n"
         "src/app/main.rs:12:    let server = start_the_server(config);\n--\n"
         "src/app/main.rs:40:    let listener = bind_the_listener(port);\n",
         "src/\n app/\n  main.rs\n   10:    let config = load_configuration_from(path);\n"
         "   12:    let server = start_the_server(config);\n   40:    let listener = bind_the_listener(port);\n"
         "  util.rs\n   3:pub fn load_configuration_from(path: &Path) {\n   --\n"},
        {"lines around blocks stay in place, also after a block that stays",
         "a/b/c/d/e.rs:11:x\na/b/c/d/e.rs:12:y\nsome words here\n" + kHits + "middle text\n" + kHits + "end",
         "a/b/c/d/e.rs:11:x\na/b/c/d/e.rs:12:y\nsome words here\n" + kTree + "middle text\n" + kTree + "end"},
        {"colour is removed before parsing; kept lines keep it",
         "\x1b[35msrc/app/main.rs\x1b[0m:\x1b[32m10\x1b[0m:    let config = load_configuration_from(path);\n"
         "\x1b[35msrc/app/main.rs\x1b[0m:\x1b[32m12\x1b[0m:    let server = start_the_server(config);\n"
         "\x1b[35msrc/app/util.rs\x1b[0m:\x1b[32m3\x1b[0m:pub fn load_configuration_from(path: &Path) {\n"
         "\x1b[1mdone\x1b[0m",
         kTree + "\x1b[1mdone\x1b[0m"},
        {"colour after blanks that trail a path",
         "src/app/main.rs \x1b[0m:10:    let config = load_configuration_from(path);\n"
         "src/app/main.rs\x1b[0m :12:    let server = start_the_server(config);\n"
         "src/app/util.rs:3:pub fn load_configuration_from(path: &Path) {\n",
         kTree},
        {"heading groups need two entries; a blank line ends a group",
         "src/app/main.rs\n10:    let config = load_configuration_from(path);\n\nsrc/app/util.rs\n3:fn x() {}\n", ""},
        {"compiler diagnostics that look like hits stay",
         "src/a.rs:3:5: error: mismatched types in this long expression\n"
         "src/a.rs:9:1: warning: unused variable named something long\n"
         "src/a.rs:12:1: this line is just any other line of text\n",
         ""},
        {"a comment that holds error: is not diagnostic-like",
         kHits + "src/app/util.rs:9:    // error: never happens in this long comment line\n",
         kTree + "   9:    // error: never happens in this long comment line\n"},
        {"two diagnostic-like entries keep the block", kStderrHits, ""},
        {"one diagnostic-like entry is no reason to keep the block (rg -n -e 'variable: `x`' -e '-->' -e note)",
         "tests/ui/unused.stderr:1:warning: unused variable: `x`\n"
         "tests/ui/unused.stderr:2: --> unused.rs:2:9\n"
         "tests/ui/unused.stderr:7:  = note: `#[warn(unused_variables)]` (part of `#[warn(unused)]`) on by default\n"
         "tests/ui/unused.stderr:10: --> unused.rs:3:9\n",
         "tests/\n ui/\n  unused.stderr\n   1:warning: unused variable: `x`\n   2: --> unused.rs:2:9\n"
         "   7:  = note: `#[warn(unused_variables)]` (part of `#[warn(unused)]`) on by default\n"
         "   10: --> unused.rs:3:9\n"},
        {"a separator before a line that is no hit stays after the tree", kHits + "--\nrg: some files were skipped\n",
         kTree + "--\nrg: some files were skipped\n"},
        {"two hits are enough for a tree (rg -n 'let (config|server)' src)",
         "src/app/main.rs:3:    let config = load_configuration_from(path);\n"
         "src/app/main.rs:4:    let server = start_the_server(config);\n",
         "src/\n app/\n  main.rs\n   3:    let config = load_configuration_from(path);\n"
         "   4:    let server = start_the_server(config);\n"},
        {"a path of 240 bytes is a path", std::string(235, 'x') + "/a.rs:10:x\n" + std::string(235, 'x') + "/a.rs:12:y\n",
         std::string(235, 'x') + "/\n a.rs\n  10:x\n  12:y\n"},
        {"a path of 241 bytes is none", std::string(236, 'x') + "/a.rs:10:x\n" + std::string(236, 'x') + "/a.rs:12:y\n",
         ""},
    };
    // Two entries that begin with any diagnostic word, in any case and after
    // blanks, keep the block.
    for (const std::string word : {"error:", "warning:", "note:", "help:", "error TS2304", "warning TS6133"}) {
        const std::string upper = text::to_upper(word);
        cases.push_back({word, kHits + "tests/ui/a.stderr:1:" + word + " first\ntests/ui/a.stderr:9:  " + upper + " second\n", ""});
    }
    for (const Case& c : cases) {
        const std::string want = c.want.empty() ? c.in : c.want;
        EXPECT_EQ(compress_rg_output(c.in), want) << c.name;
    }
}

TEST(RgReducer, HeadingLayout) {
    // Headings that follow one another's last entry, or a "--" line, form
    // one block; a tree pays off when they share a long directory.
    const std::string dir = "services/billing/internal/handlers/";
    // Colour may cut a line number.
    const std::string in = dir + "a.go\n1\x1b[32m0\x1b[0m:func A() {\n11-\treturn\n--\n" + dir +
                           "b.go\n3:7:func B() {\n" + dir + "c.go\n5:func C() {\n" + dir + "d.go\n8:func D() {\n";
    EXPECT_EQ(compress_rg_output(in),
              "services/\n billing/\n  internal/\n   handlers/\n    a.go\n     10:func A() {\n"
              "     11-\treturn\n     --\n    b.go\n     3:7:func B() {\n    c.go\n"
              "     5:func C() {\n    d.go\n     8:func D() {\n");
    // A heading with a space, or one of 241 bytes, is no heading.
    for (const std::string& heading : {std::string("my dir/a.go"), std::string(236, 'x') + "/a.go"}) {
        const std::string plain = heading + "\n10:func A() {\n11:func B() {\n";
        EXPECT_EQ(compress_rg_output(plain), plain);
    }
    // Headings of 240 bytes in one long directory group; of 241 they stay.
    for (const std::size_t bytes : {240u, 241u}) {
        const std::string dir(bytes - 5, 'x');
        const std::string in = dir + "/a.go\n10:func A() {\n" + dir + "/b.go\n3:func B() {\n";
        EXPECT_EQ(compress_rg_output(in),
                  bytes == 240 ? dir + "/\n a.go\n  10:func A() {\n b.go\n  3:func B() {\n" : in)
            << bytes;
    }
}

TEST(RgReducer, ContextOnlyBlocksStay) {
    // Real find output: names such as these read as "path-N-text" context
    // lines, but ripgrep prints context only around a match.
    const std::string find =
        "fonts\n"
        "fonts/open-sans-v17-all-charsets-300italic-2c7b95c0.woff2\n"
        "fonts/open-sans-v17-all-charsets-700-c22fe8c7.woff2\n"
        "fonts/open-sans-v17-all-charsets-600-486c6759.woff2\n"
        "fonts/open-sans-v17-all-charsets-700italic-238ae959.woff2\n"
        "fonts/source-code-pro-v11-all-charsets-500-2bdd9410.woff2\n"
        "fonts/open-sans-v17-all-charsets-300-7736aa35.woff2\n"
        "fonts/open-sans-v17-all-charsets-800-3d2c812a.woff2\n"
        "fonts/SOURCE-CODE-PRO-LICENSE.txt\n"
        "usr/share/i18n/charmaps/ISO-8859-4.gz\n";
    EXPECT_EQ(compress_rg_output(find), find);
    EXPECT_EQ(compress_rg_output(find + "fonts/a.css:1:@font-face {\n"), find + "fonts/a.css:1:@font-face {\n");
}

TEST(RgDetector, PathLocationLines) {
    struct Row {
        const char* line;
        const char* path;
        const char* number;
        const char* column;  // "" for none
        const char* text;
        bool context;
    };
    const Row rows[] = {
        {"C:\\work\\src\\a.rs:12:x", "C:\\work\\src\\a.rs", "12", "", "x", false},
        {"src/a.rs:12:34:x", "src/a.rs", "12", "34", "x", false},
        {"src/a.rs:12:x:y", "src/a.rs", "12", "", "x:y", false},
        {"src/a.rs-11-  text", "src/a.rs", "11", "", "  text", true},
        {"~/notes:7:", "~/notes", "7", "", "", false},
    };
    for (const Row& r : rows) {
        const auto e = parse_path_location_line(r.line);
        ASSERT_TRUE(e) << r.line;
        EXPECT_EQ(e->path, r.path);
        EXPECT_EQ(e->line, r.number);
        EXPECT_EQ(e->column.value_or(""), r.column);
        EXPECT_EQ(e->text, r.text);
        EXPECT_EQ(e->is_context, r.context);
    }
    // Each mark that makes a path: "/", "\\", "." or a leading "~".
    for (const char* line : {"a/b:3:x", "a\\b:3:x", "notes.txt:3:x", "~notes:3:x"})
        EXPECT_TRUE(parse_path_location_line(line)) << line;
    for (const char* line : {"src/a.rs:0:x", "src/a.rs:012:x", "README:12:x", "a b/c.rs:1:x", "http://h.io:80:x",
                             "12:34:56", "src/a.rs:12", "notes~:3:x", "a\"b/c.rs:1:x", "a'b/c.rs:1:x",
                             "a,b/c.rs:1:x", "a[b/c.rs:1:x", "a]b/c.rs:1:x", "a{b/c.rs:1:x", "a}b/c.rs:1:x",
                             "+a/b.rs:1:x", "-a/b.rs:1:x", "|a/b.rs:1:x", "a\xC2\xA0" "b/c.rs:1:x"})
        EXPECT_FALSE(parse_path_location_line(line)) << line;
    EXPECT_FALSE(filters::rg::looks_like_rg_path(std::string(241, 'a') + ".rs"));
    EXPECT_TRUE(filters::rg::looks_like_rg_path(std::string(237, 'a') + ".rs"));
    EXPECT_FALSE(filters::rg::looks_like_rg_path(std::string(238, 'a') + ".rs"));
    EXPECT_FALSE(filters::rg::looks_like_rg_path("src/a b.rs"));
}

}  // namespace

namespace {

// The first look reads the text in blocks of 64 bytes: every shape of hit
// must be found wherever a block edge cuts it, so each is tried behind
// lines of every length up to two blocks and a half.
TEST(RgDetector, HitsAnywhereInTheText) {
    const std::string shapes[] = {
        kHits,
        // blanks around the path, a tab and a no-break space before it
        "  src/app/main.rs :10:    let config = load_configuration_from(path);\n"
        "\tsrc/app/main.rs:12:    let server = start_the_server(config);\n"
        "\xC2\xA0src/app/util.rs:3:pub fn load_configuration_from(path: &Path) {\n",
        // long line numbers and columns
        "src/app/main.rs:1234567890123:17:    let config = load_configuration_from(path);\n"
        "src/app/main.rs:1234567890124:9:    let server = start_the_server(config);\n",
        // the heading layout, and colour
        "services/billing/internal/handlers/a.go\n10:func A() {\n11-\treturn\n"
        "services/billing/internal/handlers/b.go\n3:7:func B() {\n"
        "services/billing/internal/handlers/c.go\n5:func C() {\n",
        "\x1b[35msrc/app/main.rs\x1b[0m:\x1b[32m10\x1b[0m:    let config = load_configuration_from(path);\n"
        "\x1b[35msrc/app/main.rs\x1b[0m:\x1b[32m12\x1b[0m:    let server = start_the_server(config);\n",
    };
    for (const std::string& hits : shapes) {
        const std::string alone = compress_rg_output(hits);
        ASSERT_NE(alone, hits) << hits;
        for (std::size_t pad = 0; pad < 160; ++pad) {
            // A line that can belong to no block: words with blanks between.
            const std::string before = "a " + std::string(pad, 'b') + " 12:34:56\n";
            EXPECT_EQ(compress_rg_output(before + hits), before + alone) << pad << ' ' << hits;
        }
    }
}

// Lines that hold "N:N:" only after their first word, or with no path mark
// before it, are no hits; a path in the first word is one.
TEST(RgDetector, FirstWordOfTheLine) {
    const std::string logs = "2024-05-01 12:34:56.789 src/a.rs:10:x\n2024-05-01 12:34:57.001 src/a.rs:11:y\n";
    EXPECT_EQ(compress_rg_output(logs), logs);
    const std::string iso = "2024-05-01T12:34:56.789Z started\n2024-05-01T12:34:57.001Z stopped\n";
    EXPECT_EQ(compress_rg_output(iso), iso);
    const std::string ts =
        "src/app/main.ts:10:5 - error TS2304: Cannot find name 'load_configuration'.\n"
        "src/app/main.ts:12:5 - Error ts2552: Cannot find name 'start_the_server'.\n";
    EXPECT_EQ(compress_rg_output(ts), ts);
}

}  // namespace
