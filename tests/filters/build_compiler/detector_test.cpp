#include "filters/build_compiler/detector.h"

#include <gtest/gtest.h>

#include <string>

#include "text.h"

namespace {

using namespace filters::build_compiler::detector;

std::optional<BuildCompilerDiagnostics> detect(std::string_view text) {
    const text::LineIndex lines(text);
    return detect_build_compiler_diagnostics(lines);
}

struct Row {
    const char* name;
    std::string text;
    const char* tool;  // nullptr: not recognised
    bool error = false;
    bool warning = false;
};

void expect_rows(const std::vector<Row>& rows) {
    for (const auto& c : rows) {
        auto got = detect(c.text);
        if (!c.tool) {
            EXPECT_FALSE(got) << c.name << " -> " << (got ? got->tool : "");
            continue;
        }
        ASSERT_TRUE(got) << c.name;
        EXPECT_EQ(got->tool, c.tool) << c.name;
        EXPECT_EQ(got->has_error, c.error) << c.name;
        EXPECT_EQ(got->has_warning, c.warning) << c.name;
    }
}

TEST(BuildCompilerDetector, WinnerAndFlags) {
    const std::string mypy2 = "x.py:3: error: a\nx.py:4: error: b\n";
    expect_rows({
        {"single line", "error: boom\n", nullptr},
        {"claimed by tests", "error[E1]: x\n --> a.rs:1:2\ntest result: FAILED\n", nullptr},
        {"claimed by headline", "test output: pytest failure\nerror[E1]: x\n --> a.rs:1:2\n", nullptr},
        {"cargo", "error[E0308]: mismatched types\n --> src/main.rs:4:18\n", "cargo/rustc", true, false},
        {"mypy two lines", mypy2, nullptr},
        {"mypy three lines", mypy2 + "x.py:5: error: c\n", "mypy", true, false},
        {"mypy with summary", mypy2 + "Found 2 errors in 1 file\n", "mypy", true, false},
        {"one ruff line", "a.py:1:1: F401 unused\nok\n", nullptr},
        {"two ruff lines, no error word", "a.py:1:1: F401 unused\na.py:2:1: E501 long\n", "ruff", true, false},
        {"one C diagnostic alone", "a.c:1:2: error: x\nbuild went on\n", nullptr},
        {"one C diagnostic and marker", "a.c:1:2: error: x\ncompilation terminated.\n", "gcc/clang", true, false},
        {"one C diagnostic and context", "a.c:1:2: warning: x\n 1 | int x;\n", "gcc/clang", false, true},
        // tsc scores 4, eslint 3 + 1: equal, the greater name wins.
        {"tsc and eslint tie", "src/a.ts(1,1): error TS1: x\nsrc/b.js\n1:1 error Missing semicolon semi\n", "tsc", true,
         false},
        {"biome with warning", "a.js:1:1 lint/style/useConst  FIXABLE\nFound 1 warning.\n", "biome", false, true},
        {"biome without warning", "a.js:1:1 lint/style/useConst  FIXABLE\na.js:2:1 lint/style/useConst\n", "biome",
         true, false},
        {"golangci runner error only", "level=error msg=\"Running error: x\"\nsomething\n", nullptr},
        {"golangci runner error named", "level=error msg=\"Running error: x\"\nlevel=info msg=\"start\"\n",
         "golangci-lint", true, false},
        {"golangci issues", "a.go:1:2: x (errcheck)\nb.go:3:4: y (unused)\n", "golangci-lint", true, false},
        {"markdownlint one line", "README.md:1 MD041/first-line-heading First line\nnothing\n", nullptr},
        {"markdownlint named", "README.md:1 MD041/first-line-heading First line\nmarkdownlint done\n", "markdownlint",
         true, false},
        {"yamllint always warns", "a.yaml\n  1:1  error  bad  (rule)\n", "yamllint", true, true},
        {"go build", "# example.com/x\nmain.go:3:2: undefined: y\n", "go-build", true, false},
        // The zero count of a build that only warned is no error.
        {"msbuild warnings",
         "Program.cs(3,5): warning CS0168: unused [a.csproj]\nBuild succeeded.\n    1 Warning(s)\n    0 Error(s)\n",
         "msbuild/dotnet", false, true},
        {"swift over gcc", "main.swift:3:5: error: x\nmain.swift:4:5: error: y\n** BUILD FAILED **\n", "swift/xcode",
         true, false},
        {"gradle", "> Task :app:compileJava FAILED\nFAILURE: Build failed with an exception.\n", "maven/gradle", true,
         false},
        {"maven line needs its marker", "[ERROR] x\n[ERROR] y\n", nullptr},
        {"make", "gcc -c a.c\nmake: *** [Makefile:2: all] Error 1\n", "make/ninja/cmake", true, false},
        // A message's own last word is no rule id; a plain rule is set off
        // by the column gap.
        {"eslint message without a rule", "a.js\n3:10 error 'x' is defined but never used\n", nullptr},
        {"eslint plain rule", "a.js\n  12:17  error  Missing radix parameter  radix\n", "eslint", true, false},
        {"eslint plain word after one space", "a.js\n  12:17  error  Missing radix parameter radix\n", nullptr},
        {"nx needs its marker", "- web#build\nsomething\n", nullptr},
        {"nx with its marker", "- web#build\n>  NX   nx run-many\n", "nx/turbo", false, false},
        {"colour codes", "\x1b[1mmain.c:1:2: \x1b[31merror:\x1b[0m x\n\x1b[1mmain.c:2:2: \x1b[35mwarning:\x1b[0m y\n",
         "gcc/clang", true, true},
        {"coloured driver line", "\x1b[31mmake\x1b[0m: *** [all] Error 2\nok\n", "make/ninja/cmake", true, false},
        {"nothing", "hello\nworld\n", nullptr},
        {"log lines", "2024-03-14 INFO start\n2024-03-14 ERROR Payment failed: timeout\n", nullptr},
    });
}

// Shapes that other kinds of output take by chance name no tool.
TEST(BuildCompilerDetector, OtherOutputIsNotADiagnosticRun) {
    const std::string removed_python = "-    if file is None:\n-        return\n+    if not file:\n";
    expect_rows({
        // A diff's removed lines look like nx task lines; a diff is a diff.
        {"git diff",
         "diff --git a/a.py b/a.py\n--- a/a.py\n+++ b/a.py\n@@ -1,3 +1,3 @@\n" + removed_python +
             " # The Lynx browser\n",
         nullptr},
        {"combined diff", "diff --cc a.c\nindex 1,2..3\n- web#build\nnx run\n", nullptr},
        {"hunk alone", "@@ -1 +1 @@\n" + removed_python + "turbo\n", nullptr},
        {"coloured diff", "\x1b[1mdiff --git a/a.c b/a.c\x1b[m\na.c:1:2: error: x\na.c:2:2: error: y\n", nullptr},
        {"nx inside a word", "- web#build\nThe Lynx browser\n", nullptr},
        {"nx as a word", "- web#build\nLynx and nx\n", "nx/turbo", false, false},
        // A shellcheck code stands apart from letters and digits.
        {"code inside a name", "./data/KSC5636.txt\n./data/KSC5637.txt\n", nullptr},
        {"code with a fifth digit", "see SC20861\nand SC20862\n", nullptr},
        {"bracketed codes", "x [SC2086]\ny [SC2046]\n", "shellcheck", false, true},
        {"codes before a colon", "SC2086: quote this\n SC2046 here\n", "shellcheck", false, true},
    });
}

// The first look turns a text away without the full tally only where the
// tally would turn it away too: each kind of sign, alone in a text, still
// names its tool.
TEST(BuildCompilerDetector, EverySignAloneStillNamesItsTool) {
    expect_rows({
        {"tsc parenthesis", "src/a.TS(3,7): error TS2322: Type\nsrc/b.ts(1,1): error TS1: x\n", "tsc", true, false},
        {"tsc dash", "src/A.TS:3:7 - error TS2322: Type\nok\n", "tsc", true, false},
        {"eslint location first", "a.js\n3:10  error  'x' is defined but never used  no-unused-vars\n", "eslint", true,
         false},
        {"pyi note", "a.pyi:3: note: see\na.pyi:4: note: see\na.pyi:5: note: see\n", "mypy", false, false},
        {"svelte", "src/app.svelte:1:18 lint/style/useConst  x\nsrc/app.svelte:2:1 lint/style/useConst  y\n", "biome",
         true, false},
        {"oxlint marks", "× eslint(no-debugger): x\n! oxlint(y): z\n", "oxlint", true, false},
        {"shellcheck tty", "In a.sh line 1:\n ^-- SC2086 (info): Double quote\n", "shellcheck", false, true},
        {"shellcheck gcc layout", "x.sh:1:2: note: odd [SCx]\nok\n", "shellcheck", false, true},
        {"golangci fatal", "LEVEL=FATAL msg=\"failed to load\"\nRunning linters\n", "golangci-lint", true, false},
        {"objective-c", "main.m:1:2: fatal error: 'x.h' file not found\n 1 | #import \"x.h\"\n", "gcc/clang", true,
         false},
        {"nuget", "error NU1101: Unable to find package\nBuild FAILED.\n", "msbuild/dotnet", true, false},
        {"ninja", "ninja: build stopped: subcommand failed.\nok\n", "make/ninja/cmake", true, false},
        // make's verdict after -k holds no "***" (and "errors" is no
        // error word); in capitals too.
        {"make verdict", "make: Target 'all' not remade because of errors.\nok\n", "make/ninja/cmake", false, false},
        {"make verdict in capitals", "ok\nMAKE[2]: TARGET 'ALL' NOT REMADE BECAUSE OF ERRORS.\n", "make/ninja/cmake",
         false, false},
        {"cmake", "CMake Warning at CMakeLists.txt:5 (message):\n  x\n", "make/ninja/cmake", false, true},
        {"xcode", "** BUILD FAILED **\nok\n", "swift/xcode", true, false},
        {"maven marker later", "[ERROR] x\nDaemon: gradle 8\n", "maven/gradle", true, false},
        {"one non-blank line", "a.c:1:2: error: x\n\n  \n", nullptr},
    });
    // Signs found in the middle of a long text and in its last bytes.
    std::string plain;
    for (int i = 0; i < 300; ++i) plain += "./src/module/file_" + std::to_string(i) + ".txt 12:30:45\n";
    expect_rows({
        {"long plain text", plain, nullptr},
        {"sign in the middle", plain + "a.c:1:2: error: x\ncompilation terminated.\n" + plain, "gcc/clang", true,
         false},
        {"signs in the last bytes", plain + "SC2086 x\nSC2046 y", "shellcheck", false, true},
        {"signs after colour codes", "\x1b[1mbuild\x1b[0m\n" + plain + "In a.sh line 1:\n ^-- SC2086 (info): x\n",
         "shellcheck", false, true},
    });
}

// A text that the first look lets through (a search result's "x.go:12:")
// is declined without the tally only when no line can give a tool its
// candidacy: each kind of candidacy line, after such lines, indented past a
// 64-byte block or at the very end, still names its tool.
TEST(BuildCompilerDetector, SearchResultsBeforeCandidacyLines) {
    std::string hits;
    for (int i = 0; i < 40; ++i)
        hits += "pkg/jobs/mapper_" + std::to_string(i) + ".go:" + std::to_string(i + 3) +
                ":    return f(x) // map_err note\n";
    const std::string indent(70, ' ');
    expect_rows({
        {"search results alone", hits, nullptr},
        {"line:column without a shape", hits + "a.go:3:4:    session(x)\nb.py:1:2: lower case\n", nullptr},
        {"ruff", hits + "a.py:1:1: F401 unused\nb.py:2:1: E501 long\n", "ruff", true, false},
        {"golangci-lint", hits + "a.go:3:4: x not checked (errcheck)\nb.go:1:2: y (unused)\n", "golangci-lint", true,
         false},
        {"biome", hits + "a.ts:3:5 lint/style/useConst x\nb.ts:1:1 lint/suspicious/noX y\n", "biome", true, false},
        {"markdownlint", hits + "README.md:3 MD013/line-length x\nREADME.md:9 MD009 y\n", "markdownlint", true, false},
        {"c family indented", hits + indent + "a.c:1:2: error: x\n" + indent + "b.c:1:2: warning: y", "gcc/clang", true,
         true},
        {"go package", hits + "# example.com/app\n./main.go:3:2: undefined: x\n", "go-build", true, false},
        {"gradle phrase", hits + "FAILURE: Build failed with an exception.\nDaemon: gradle 8\n", "maven/gradle", true,
         false},
        {"turbo phrase", hits + "turbo 1.10\napp#build: command exited (1)\n", "nx/turbo", false, false},
        {"test run", "=== test session starts ===\n" + hits + "a.c:1:2: error: x\nb.c:1:2: error: y\n", nullptr},
        {"oxlint after a tree", hits + "\u2502 \u251c\u2500\u2500 x\n\u00d7 eslint(no-debugger): x\n! oxlint(y): z\n",
         "oxlint", true, false},
        {"wide space before a header", hits + "\u3000error[E0308]: mismatched types\n --> src/main.rs:2:5\n",
         "cargo/rustc", true, false},
    });
}

// A text without a rare triple in a place a shape puts it is declined by
// one quick pass; each
// shape that the first look lets through, after such a text and at every
// offset in a 32-byte block, still names its tool.
TEST(BuildCompilerDetector, EveryShapeAfterTextWithoutTriples) {
    std::string plain;
    for (int i = 0; i < 100; ++i) {
        plain += "./src/module/file_" + std::to_string(i) + ".txt 12:30:45 [info] ok\n";
        // Triples that the pass reads and lets go: no shape around them.
        if (i % 10 == 0) plain += "  Arrows and a cornice; terrors, *** x\n";
    }
    const std::vector<Row> shapes = {
        {"cargo header",
         "error[E0308]: mismatched types\n --> src/main.rs:2:5\nerror: aborting due to 1 previous error\n",
         "cargo/rustc", true, false},
        {"eslint warning", "a.js\n  3:10  warning  'x' is never used  no-unused-vars\n", "eslint", false, true},
        {"golangci fatal", "level=fatal msg=\"failed to load\"\nRunning linters\n", "golangci-lint", true, false},
        {"ninja", "ninja: build stopped: subcommand failed.\n", "make/ninja/cmake", true, false},
        {"make", "make: *** [Makefile:3: all] Error 2\n", "make/ninja/cmake", true, false},
        {"make verdict", "make[1]: Target 'all' not remade because of errors.\n", "make/ninja/cmake", false, false},
        {"cmake warning", "CMake Warning at CMakeLists.txt:5 (message):\n  x\n", "make/ninja/cmake", false, true},
        {"xcode", "** BUILD FAILED **\n", "swift/xcode", true, false},
        {"xcode commands", "The following build commands failed:\n\tCompileSwift normal arm64\n", "swift/xcode", true,
         false},
        {"oxlint marks", "\u00d7 eslint(no-debugger): x\n! oxlint(y): z\n", "oxlint", true, false},
        {"maven", "[WARNING] x\n[ERROR] y\nDaemon: gradle 8\n", "maven/gradle", true, true},
        {"gradle task", "> Task :app:compileJava FAILED\nFAILURE: Build failed with an exception.\n", "maven/gradle",
         true, false},
        {"nx", "NX   Running target build for project app\n- app:build\nnx run app:build\n", "nx/turbo", false, false},
        {"msbuild", "a.cs(1,2): warning CS0168: x [a.csproj]\nBuild succeeded.\n", "msbuild/dotnet", false, true},
        {"tsc", "src/a.ts(3,7): error TS2322: Type\n", "tsc", true, false},
        {"mypy", "a.py:3: error: x\na.py:4: error: y\na.py:5: note: z\n", "mypy", true, false},
        {"shellcheck", "In a.sh line 1:\n ^-- SC2086 (info): Double quote\n", "shellcheck", false, true},
        {"shellcheck gcc", "x.sh:1:2: note: odd [SC2086]\n", "shellcheck", false, true},
        {"coloured", "\x1b[31merror\x1b[0m: boom\n --> src/main.rs:2:5\n", "cargo/rustc", true, false},
    };
    for (std::size_t offset = 0; offset < 33; ++offset) {
        const std::string head = plain.substr(0, plain.size() - offset) + "\n";
        EXPECT_FALSE(detect(head)) << offset;
        std::vector<Row> rows;
        for (const Row& r : shapes) rows.push_back({r.name, head + r.text, r.tool, r.error, r.warning});
        expect_rows(rows);
    }
}

}  // namespace
