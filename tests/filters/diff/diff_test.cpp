#include <gtest/gtest.h>

#include "../../support.h"
#include "filters/diff/detector.h"
#include "filters/diff/reducer.h"

namespace {

using filters::diff::reducer::clean_diff_path;
using filters::diff::reducer::compress_diff_output;
using test_support::Case;

const std::string E = "\xE2\x80\xA6";  // the ellipsis of every marker

std::string header(const std::string& path) {
    return "diff --git a/" + path + " b/" + path + "\nindex 3b18e51..a7c9d10 100644\n--- a/" + path + "\n+++ b/" +
           path + "\n";
}
std::string shortened_header(const std::string& path) {
    return "diff --git a/" + path + " b/" + path + "\n--- a/" + path + "\n+++ b/" + path + "\n";
}
const std::string kCtx = " let value = compute_the_next_value(input, options);\n";

std::string lines(int n, const std::string& prefix, const std::string& body) {
    std::string out;
    for (int i = 0; i < n; ++i) out += prefix + body + std::to_string(i) + "\n";
    return out;
}

TEST(DiffReducer, Hunks) {
    std::vector<Case> cases = {
        {"context runs around a change become markers",
         header("src/lib.rs") + "@@ -1,5 +1,5 @@\n" + kCtx + kCtx + "-old();\n+new();\n" + kCtx,
         shortened_header("src/lib.rs") + "@@ -1,5 +1,5 @@\n" + E + " 2 context lines\n-old();\n+new();\n" + E +
             " 1 context line\n"},
        {"a block the markers do not shorten keeps its form, index line included",
         header("a") + "@@ -1,3 +1,3 @@\n x\n-a\n+b\n y\n", header("a") + "@@ -1,3 +1,3 @@\n x\n-a\n+b\n y\n"},
        {"markers written by the git pass are merged, not doubled",
         shortened_header("src/lib.rs") + "@@ -1,9 +1,9 @@\n" + E + " 3 context lines\n" + kCtx + "-old();\n+new();\n" +
             E + " 3 context lines\n",
         shortened_header("src/lib.rs") + "@@ -1,9 +1,9 @@\n" + E + " 4 context lines\n-old();\n+new();\n" + E +
             " 3 context lines\n"},
        {"a lockfile hunk of 20 changes becomes one marker",
         header("web/yarn.lock") + "@@ -1,21 +1,20 @@\n" + kCtx + lines(5, "-", "old-entry-") +
             lines(15, "+", "new-entry-") + "\\ No newline at end of file\n",
         shortened_header("web/yarn.lock") + "@@ -1,21 +1,20 @@\n" + E +
             " lockfile hunk omitted: +15 -5 context=1\n\\ No newline at end of file\n"},
        {"a lockfile hunk of 19 changes is collapsed as usual",
         header("yarn.lock") + "@@ -1,4 +1,15 @@\n" + kCtx + lines(4, "-", "old-entry-") + lines(15, "+", "new-entry-"),
         shortened_header("yarn.lock") + "@@ -1,4 +1,15 @@\n" + E + " 1 context line\n" + lines(4, "-", "old-entry-") +
             lines(15, "+", "new-entry-")},
        {"a deleted lockfile is known by its old path",
         "--- a/go.sum\n+++ /dev/null\n@@ -1,20 +0,0 @@\n" + lines(20, "-", "example.com/mod v1.0.0 h1:"),
         "--- a/go.sum\n+++ /dev/null\n@@ -1,20 +0,0 @@\n" + E + " lockfile hunk omitted: +0 -20 context=0\n"},
        {"a re-indenting hunk is whitespace-only",
         header("src/app.py") + "@@ -1,4 +1,4 @@\n" + kCtx +
             "-if ready:\n-    go(now)\n+if  ready:\n+        go(now)\n",
         shortened_header("src/app.py") + "@@ -1,4 +1,4 @@\n" + E + " whitespace-only hunk omitted: +2 -2 context=1\n"},
        {"a hunk with only added lines is never whitespace-only", header("a.py") + "@@ -1,1 +1,2 @@\n" + kCtx + "+ \n",
         shortened_header("a.py") + "@@ -1,1 +1,2 @@\n" + E + " 1 context line\n+ \n"},
        {"an empty line ends the hunk body",
         header("src/lib.rs") + "@@ -1,5 +1,5 @@\n" + kCtx + "-old();\n+new();\n\n" + kCtx + kCtx,
         shortened_header("src/lib.rs") + "@@ -1,5 +1,5 @@\n" + E + " 1 context line\n-old();\n+new();\n\n" + kCtx +
             kCtx},
        {"a blank added line stays inside the hunk body (git diff)",
         "diff --git a/main.rs b/main.rs\nindex a5b5ceb..f48eec1 100644\n--- a/main.rs\n+++ b/main.rs\n"
         "@@ -1,4 +1,6 @@\n fn main() {\n     let config = load();\n+\n+    let server = start(config);\n"
         "     run(config);\n }\n",
         shortened_header("main.rs") + "@@ -1,4 +1,6 @@\n" + E + " 2 context lines\n+\n+    let server = start(config);\n" +
             E + " 2 context lines\n"},
        {"a hunk with only removed lines is never whitespace-only",
         header("a.py") + "@@ -1,2 +1,1 @@\n" + kCtx + "-\n",
         shortened_header("a.py") + "@@ -1,2 +1,1 @@\n" + E + " 1 context line\n-\n"},
        {"tabs and form feeds are whitespace too",
         header("src/app.py") + "@@ -1,3 +1,3 @@\n" + kCtx + "-\tgo(now)\n-go(\fnow)\n+    go(now)\n+go(now)\n",
         shortened_header("src/app.py") + "@@ -1,3 +1,3 @@\n" + E + " whitespace-only hunk omitted: +2 -2 context=1\n"},
        {"a vertical tab is not whitespace", header("src/app.py") + "@@ -1,2 +1,2 @@\n" + kCtx + "-go(\vnow)\n+go(now)\n",
         shortened_header("src/app.py") + "@@ -1,2 +1,2 @@\n" + E + " 1 context line\n-go(\vnow)\n+go(now)\n"},
        {"a re-indenting hunk with a context marker in its body is collapsed as usual",
         shortened_header("src/app.py") + "@@ -1,9 +1,9 @@\n" + E + " 8 context lines\n-" + kCtx + "+  " + kCtx,
         shortened_header("src/app.py") + "@@ -1,9 +1,9 @@\n" + E + " 8 context lines\n-" + kCtx + "+  " + kCtx},
        {"a re-indenting combined hunk is collapsed as usual",
         "diff --cc main.go\n--- a/main.go\n+++ b/main.go\n@@@ -1,2 -1,2 +1,2 @@@\n " + kCtx + "--" + kCtx + "++  " + kCtx,
         "diff --cc main.go\n--- a/main.go\n+++ b/main.go\n@@@ -1,2 -1,2 +1,2 @@@\n" + E + " 1 context line\n--" +
             kCtx + "++  " + kCtx},
        {"four @ make three parents: a line with two blanks before its sign is a change",
         "diff --cc main.go\n--- a/main.go\n+++ b/main.go\n@@@@ -1,3 -1,3 -1,3 +1,3 @@@@\n  " + kCtx + "  " + kCtx +
             "  -old();\n++ new();\n",
         "diff --cc main.go\n--- a/main.go\n+++ b/main.go\n@@@@ -1,3 -1,3 -1,3 +1,3 @@@@\n" + E +
             " 2 context lines\n  -old();\n++ new();\n"},
        {"combined hunk lines carry one prefix character per parent",
         "diff --cc main.go\n--- a/main.go\n+++ b/main.go\n@@@ -1,4 -1,4 +1,4 @@@\n" + std::string(" ") + kCtx + " " +
             kCtx + "- a();\n -b();\n++c();\n",
         "diff --cc main.go\n--- a/main.go\n+++ b/main.go\n@@@ -1,4 -1,4 +1,4 @@@\n" + E +
             " 2 context lines\n- a();\n -b();\n++c();\n"},
    };
    // Every lockfile name, matched on the last path component and case-sensitively.
    for (const std::string name : {"go.sum", "uv.lock", "yarn.lock", "Cargo.lock", "poetry.lock", "Gemfile.lock",
                                   "Pipfile.lock", "composer.lock", "pnpm-lock.yaml", "package-lock.json",
                                   "npm-shrinkwrap.json", "cargo.lock", "Cargo.lock.orig"}) {
        const bool lockfile = name != "cargo.lock" && name != "Cargo.lock.orig";
        cases.push_back({name, header("deps/" + name) + "@@ -1,1 +1,21 @@\n" + kCtx + lines(20, "+", "entry-"),
                         shortened_header("deps/" + name) + "@@ -1,1 +1,21 @@\n" + E +
                             (lockfile ? " lockfile hunk omitted: +20 -0 context=1\n"
                                       : " 1 context line\n" + lines(20, "+", "entry-"))});
    }
    // Each kind of path line names the file when it is the last one before the hunk.
    const std::string removed = lines(20, "-", "entry-"), both_removed = lines(20, "--", "entry-");
    const std::string marker = E + " lockfile hunk omitted: +0 -20 context=0\n";
    const std::pair<std::string, std::string> path_lines[] = {
        {"diff --git a/deps/yarn.lock b/deps/yarn.lock\n", "@@ -1,20 +0,0 @@\n" + removed},
        {"diff --cc Cargo.lock\n", "@@@ -1,20 -1,20 +0,0 @@@\n" + both_removed},
        {"diff --combined Cargo.lock\n", "@@@ -1,20 -1,20 +0,0 @@@\n" + both_removed},
        {"Index: deps\\yarn.lock\n=====\n--- /dev/null\n+++ /dev/null\n", "@@ -1,20 +0,0 @@\n" + removed},
        {"--- /dev/null\n+++ b/Cargo.lock\n", "@@ -0,0 +1,20 @@\n" + lines(20, "+", "entry-")},
        {"diff --git a/notes b/notes\nrename from notes\nrename to uv.lock\n", "@@ -1,20 +0,0 @@\n" + removed},
        {"diff --git a/notes b/notes\ncopy from notes\ncopy to uv.lock\n", "@@ -1,20 +0,0 @@\n" + removed},
    };
    for (const auto& [head, hunk] : path_lines) {
        const std::string hunk_header = hunk.substr(0, hunk.find('\n') + 1);
        const std::string want_marker =
            head.starts_with("---") ? E + " lockfile hunk omitted: +20 -0 context=0\n" : marker;
        cases.push_back({head, head + hunk, head + hunk_header + want_marker});
    }
    for (const Case& c : cases) EXPECT_EQ(compress_diff_output(c.in), c.want) << c.name;
}

TEST(DiffReducer, BlocksAndPayloads) {
    const std::string payload = "zcmZSJl~Olx^o!0YZR(%1a@*kxcVB&H5tP%ma1Dy\n";
    std::vector<Case> cases = {
        {"a text without a diff comes back byte for byte", "plain log line\n@@ -1 +1 @@\n-x\n+y", ""},
        {"lines around blocks stay, index lines outside blocks too",
         "index 1..2 before\n" + header("a.rs") + "@@ -1,3 +1,3 @@\n" + kCtx + kCtx + "-a\n+b\n\nafter " + kCtx,
         "index 1..2 before\n" + shortened_header("a.rs") + "@@ -1,3 +1,3 @@\n" + E +
             " 2 context lines\n-a\n+b\n\nafter " + kCtx},
        {"payload runs end at the next literal line; blank lines count",
         "diff --git a/logo.png b/logo.png\nGIT binary patch\nliteral 800\n" + payload + payload + "\nliteral 700\n" +
             payload + "\n",
         "diff --git a/logo.png b/logo.png\nGIT binary patch\nliteral 800\n" + E +
             " 3 binary patch payload lines\nliteral 700\n" + E + " 2 binary patch payload lines\n"},
        {"a payload marker already written ends the run and stays",
         "diff --git a/logo.png b/logo.png\nindex 1..2\nGIT binary patch\nliteral 800\n" + E +
             " 3 binary patch payload lines\nliteral 700\n" + E + " 1 binary patch payload line\n",
         "diff --git a/logo.png b/logo.png\nGIT binary patch\nliteral 800\n" + E +
             " 3 binary patch payload lines\nliteral 700\n" + E + " 1 binary patch payload line\n"},
        {"an Index: section without a hunk is no block",
         "Index: notes.txt\n==========\nindex of terms\n--- a\n+++ b\nmore prose\n", ""},
        {"a git section with nothing but an index line is no block",
         "diff --git a/x.bin b/x.bin\nindex 3b18e51..a7c9d10 100644\n", ""},
    };
    // Every line that ends a payload run; the index line is then dropped.
    const std::string png = "diff --git a/logo.png b/logo.png\nGIT binary patch\nliteral 800\n";
    for (const std::string stop :
         {"--- a/logo.png", "+++ b/logo.png", "index 3b18e51..a7c9d10", "new file mode 100644",
          "deleted file mode 100644", "old mode 100644", "new mode 100755", "similarity index 90%",
          "dissimilarity index 80%", "rename from logo.png", "rename to logo.png", "copy from logo.png",
          "copy to logo.png", "Binary files a/logo.png and b/logo.png differ", "GIT binary patch", "literal 0",
          "delta 0", "@@ -1 +1 @@"})
        cases.push_back({stop, png + payload + stop + "\n",
                         png + E + " 1 binary patch payload line\n" + (stop.starts_with("index") ? "" : stop + "\n")});
    // Every metadata or binary line makes a git section a block: its index line goes.
    for (const std::string line :
         {"new file mode 100644", "deleted file mode 100644", "old mode 100644", "new mode 100755",
          "similarity index 90%", "dissimilarity index 80%", "rename from y.bin", "rename to y.bin", "copy from y.bin",
          "copy to y.bin", "GIT binary patch", "Binary files a/x.bin and b/x.bin differ", "literal 0", "delta 0"})
        cases.push_back({line, "diff --git a/x.bin b/x.bin\nindex 3b18e51..a7c9d10 100644\n" + line + "\n",
                         "diff --git a/x.bin b/x.bin\n" + line + "\n"});
    for (const Case& c : cases) {
        const std::string want = c.want.empty() ? c.in : c.want;
        EXPECT_EQ(compress_diff_output(c.in), want) << c.name;
    }
}

TEST(DiffReducer, MarkerCountsSaturate) {
    // Two read-back counts whose sum passes 64 bits stay at the largest
    // count instead of wrapping to a small one.
    const std::string big = "18446744073709551615";
    const std::string in =
        header("src/lib.rs") + "@@ -1,5 +1,5 @@\n" + E + " " + big + " context lines\n" + kCtx + "-old();\n+new();\n";
    EXPECT_EQ(compress_diff_output(in), shortened_header("src/lib.rs") + "@@ -1,5 +1,5 @@\n" + E + " " + big +
                                            " context lines\n-old();\n+new();\n");
    const std::string lock = header("go.sum") + "@@ -1,5 +1,5 @@\n" + E + " " + big + " context lines\n" + E +
                             " 2 context lines\n" + lines(20, "+", "example.com/m v1 h1:");
    EXPECT_EQ(compress_diff_output(lock), shortened_header("go.sum") + "@@ -1,5 +1,5 @@\n" + E +
                                              " lockfile hunk omitted: +20 -0 context=" + big + "\n");
    // A count past 64 bits makes the line no marker: it ends the body.
    const std::string over =
        header("a.rs") + "@@ -1,3 +1,3 @@\n" + E + " 18446744073709551616 context lines\n" + kCtx + kCtx + "-a\n+b\n";
    EXPECT_EQ(compress_diff_output(over), shortened_header("a.rs") + "@@ -1,3 +1,3 @@\n" + E +
                                              " 18446744073709551616 context lines\n" + kCtx + kCtx + "-a\n+b\n");
}

TEST(DiffDetector, HunkHeaders) {
    using filters::diff::detector::is_hunk_header;
    EXPECT_TRUE(is_hunk_header("@@ -1,7 +1,8 @@ fn main()"));
    EXPECT_TRUE(is_hunk_header("@@ -0,0 +1 @@"));
    EXPECT_TRUE(is_hunk_header("@@@ -1,3 -1,3 +1,4 @@@"));
    EXPECT_TRUE(is_hunk_header("@@@ -1 +1 @@@"));
    EXPECT_TRUE(is_hunk_header("  @@@ -1 -1 +1 @@@"));
    EXPECT_FALSE(is_hunk_header("@@ -1,7 +1,8"));
    EXPECT_FALSE(is_hunk_header("@@ 1,7 +1,8 @@"));
    EXPECT_FALSE(is_hunk_header("@@@ +1 -1 @@@"));
    EXPECT_FALSE(is_hunk_header("@@ -1,2,3 +1 @@"));
    EXPECT_FALSE(is_hunk_header("@@ -1, +1 @@"));
}

TEST(DiffDetector, BlocksEndAtCommitsAndHeaders) {
    using Spans = std::vector<std::pair<std::size_t, std::size_t>>;
    auto blocks_of = [](const std::string& text) {
        const text::LineIndex index(text);
        Spans spans;
        for (const auto& b : filters::diff::detector::find_diff_blocks(index)) spans.emplace_back(b.start, b.end);
        return spans;
    };
    // A 6-digit hash does not end the block, a 7-digit one does.
    EXPECT_EQ(blocks_of("commit 1234567abc\n\n    msg\n\ndiff --git a/x b/x\nnew file mode 100644\n"
                        "commit 123456\ncommit abcdef0 (HEAD)\n--- a/y\n+++ b/y\n@@ -1 +1 @@\n-a\n+b\n"
                        "--- a/z\n+++ b/z\n@@ -1 +1 @@\n-a\n+b\n"),
              (Spans{{4, 7}, {8, 13}, {13, 18}}));
    // The mails of a patch series: a "From " line with a hash ends the block too.
    EXPECT_EQ(blocks_of("diff --git a/x b/x\nnew file mode 100644\nFrom 123456 Mon Sep 17 00:00:00 2001\n"
                        "From ABCDEF0 Mon Sep 17 00:00:00 2001\nFrom: Dev <dev@example.com>\n"),
              (Spans{{0, 3}}));
}

TEST(DiffReducer, CleanDiffPath) {
    EXPECT_EQ(clean_diff_path(" \"b/src/a b.rs\"\t2024-01-01 "), std::optional<std::string_view>("src/a b.rs"));
    EXPECT_EQ(clean_diff_path("/dev/null\t1970-01-01"), std::nullopt);
    EXPECT_EQ(clean_diff_path("\"\""), std::nullopt);
    EXPECT_EQ(clean_diff_path("a"), std::optional<std::string_view>("a"));
    EXPECT_EQ(clean_diff_path("w/"), std::optional<std::string_view>(""));
    EXPECT_EQ(clean_diff_path("x/y"), std::optional<std::string_view>("x/y"));
    for (const char* side : {"a/x/y", "c/x/y", "i/x/y"}) EXPECT_EQ(clean_diff_path(side), std::optional<std::string_view>("x/y"));
}

}  // namespace
