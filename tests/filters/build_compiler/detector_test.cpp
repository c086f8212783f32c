#include "filters/build_compiler/detector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text.h"

namespace {

using namespace filters::build_compiler::detector;

std::optional<BuildCompilerDiagnostics> detect(std::string_view text) {
    return detect_build_compiler_diagnostics(text::split_lines(text).lines);
}

TEST(BuildCompilerDetector, WinnerAndFlags) {
    struct C {
        const char* name;
        std::string text;
        const char* tool;  // nullptr: not recognised
        bool error;
        bool warning;
    };
    const std::string mypy2 = "x.py:3: error: a\nx.py:4: error: b\n";
    const C cases[] = {
        {"single line", "error: boom\n", nullptr, false, false},
        {"claimed by tests", "error[E1]: x\n --> a.rs:1:2\ntest result: FAILED\n", nullptr, false, false},
        {"claimed by headline", "test output: pytest failure\nerror[E1]: x\n --> a.rs:1:2\n", nullptr, false, false},
        {"mypy two lines", mypy2, nullptr, false, false},
        {"mypy three lines", mypy2 + "x.py:5: error: c\n", "mypy", true, false},
        {"mypy with summary", mypy2 + "Found 2 errors in 1 file\n", "mypy", true, false},
        {"one ruff line", "a.py:1:1: F401 unused\nok\n", nullptr, false, false},
        {"two ruff lines, no error word", "a.py:1:1: F401 unused\na.py:2:1: E501 long\n", "ruff", true, false},
        {"one C diagnostic alone", "a.c:1:2: error: x\nbuild went on\n", nullptr, false, false},
        {"one C diagnostic and marker", "a.c:1:2: error: x\ncompilation terminated.\n", "gcc/clang", true, false},
        {"one C diagnostic and context", "a.c:1:2: warning: x\n 1 | int x;\n", "gcc/clang", false, true},
        // tsc scores 4, eslint 3 + 1: equal, the greater name wins.
        {"tsc and eslint tie", "src/a.ts(1,1): error TS1: x\nsrc/b.js\n1:1 error Missing semicolon semi\n", "tsc",
         true, false},
        {"biome with warning", "a.js:1:1 lint/style/useConst  FIXABLE\nFound 1 warning.\n", "biome", false, true},
        {"biome without warning", "a.js:1:1 lint/style/useConst  FIXABLE\na.js:2:1 lint/style/useConst\n", "biome",
         true, false},
        {"golangci runner error only", "level=error msg=\"Running error: x\"\nsomething\n", nullptr, false, false},
        {"golangci runner error named", "level=error msg=\"Running error: x\"\nlevel=info msg=\"start\"\n",
         "golangci-lint", true, false},
        {"golangci runner error with progress", "level=error msg=\"Running error: x\"\nRunning linters\n",
         "golangci-lint", true, false},
        {"golangci issues", "a.go:1:2: x (errcheck)\nb.go:3:4: y (unused)\n", "golangci-lint", true, false},
        {"markdownlint one line", "README.md:1 MD041/first-line-heading First line\nnothing\n", nullptr, false, false},
        {"markdownlint named", "README.md:1 MD041/first-line-heading First line\nmarkdownlint done\n",
         "markdownlint", true, false},
        {"yamllint always warns", "a.yaml\n  1:1  error  bad  (rule)\n", "yamllint", true, true},
        {"shellcheck always warns", "In a.sh line 1:\nx\n ^-- SC2086 (info): Quote\n", "shellcheck", false, true},
        {"go build", "# example.com/x\nmain.go:3:2: undefined: y\n", "go-build", true, false},
        // msbuild that only warned: the zero count is no error.
        {"msbuild warnings", "Program.cs(3,5): warning CS0168: unused [a.csproj]\nBuild succeeded.\n    1 Warning(s)\n    0 Error(s)\n",
         "msbuild/dotnet", false, true},
        {"msbuild errors", "Program.cs(3,5): error CS1002: ; expected [a.csproj]\nBuild FAILED.\n    0 Warning(s)\n    1 Error(s)\n",
         "msbuild/dotnet", true, true},
        {"swift over gcc", "main.swift:3:5: error: x\nmain.swift:4:5: error: y\n** BUILD FAILED **\n", "swift/xcode", true,
         false},
        {"gradle", "> Task :app:compileJava FAILED\nFAILURE: Build failed with an exception.\n", "maven/gradle", true,
         false},
        {"make", "gcc -c a.c\nmake: *** [Makefile:2: all] Error 1\n", "make/ninja/cmake", true, false},
        {"nx needs its marker", "- web#build\nsomething\n", nullptr, false, false},
        {"nothing", "hello\nworld\n", nullptr, false, false},
    };
    for (const auto& c : cases) {
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

TEST(BuildCompilerDetector, TieGoesToGreaterName) {
    EXPECT_FALSE(pick_winner({}));
    auto w = pick_winner({{"eslint", 4}, {"tsc", 4}, {"cargo/rustc", 3}});
    ASSERT_TRUE(w);
    EXPECT_EQ(w->tool, "tsc");
    w = pick_winner({{"pyright", 8}, {"mypy", 8}});
    EXPECT_EQ(w->tool, "pyright");
    w = pick_winner({{"gcc/clang", 9}, {"swift/xcode", 9}, {"make/ninja/cmake", 10}});
    EXPECT_EQ(w->tool, "make/ninja/cmake");
}

TEST(BuildCompilerDetector, ColourCodesAreIgnored) {
    auto got = detect("\x1b[1mmain.c:1:2: \x1b[31merror:\x1b[0m x\n\x1b[1mmain.c:2:2: \x1b[35mwarning:\x1b[0m y\n");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->tool, "gcc/clang");
}

}  // namespace

namespace {

// The light first look may only turn a text away when the full tally would:
// every line shape a tool's candidacy needs must raise a hint.
TEST(BuildCompilerDetector, LightLookHintsEveryNeededLine) {
    enum Want { kNothing, kQualify, kMavenLine, kMavenBoth, kMavenMarker, kNxLine, kNxBoth, kNxMarker };
    struct C {
        const char* line;
        Want want;
    };
    const C cases[] = {
        {"error[E0308]: mismatched types", kQualify},
        {"warning: unused import", kQualify},
        {"src/a.TS(3,7): error TS2322: Type", kQualify},
        {"src/A.TS:3:7 - error TS2322: Type", kQualify},
        {"3:10  error  'x' is defined but never used  no-unused-vars", kQualify},
        {"src/a.js: line 1, col 2: error x semi", kQualify},
        {"a.pyi:3: note: see", kQualify},
        {"app.py:3:8: F401 [*] `os` imported but unused", kQualify},
        {"/p/a.py:4:15 - information: Type of x", kQualify},
        {"src/app.svelte:1:18 lint/style/useConst  FIXABLE", kQualify},
        {"× eslint(no-debugger): Unexpected 'debugger' statement", kQualify},
        {"! oxlint(x): y", kQualify},
        {"^-- SC2086 (info): Double quote", kQualify},
        {"x.sh:1:2: note: odd [SCx]", kQualify},
        {"README.md:12:81 MD013/line-length Line length", kQualify},
        {"a.yml:3:1: [warning] truthy value (truthy)", kQualify},
        {"3:1       error    wrong indentation  (indentation)", kQualify},
        {"pkg/a.go:12:5: Error return value is not checked (errcheck)", kQualify},
        {"LEVEL=FATAL msg=\"failed to load\"", kQualify},
        {"ERRO [runner] can't run linter goanalysis_metalinter", kQualify},
        {"main.m:1:2: fatal error: 'x.h' file not found", kQualify},
        {"Program.cs(12,5): error CS1002: ; expected [app.csproj]", kQualify},
        {"error NU1101: Unable to find package", kQualify},
        {"make[1]: *** [Makefile:12: all] Error 1", kQualify},
        {"ninja: build stopped: subcommand failed.", kQualify},
        {"CMake Warning at CMakeLists.txt:5 (message):", kQualify},
        {"** BUILD FAILED **", kQualify},
        {"The following build commands failed:", kQualify},
        {"[ERROR] Failed to execute goal", kMavenLine},
        {"* What went wrong:", kMavenLine},
        {"See the surefire-reports directory", kMavenLine},
        {"> Task :app:compileJava FAILED", kMavenBoth},
        {"[INFO] BUILD FAILURE", kMavenBoth},
        {"Execution failed for task ':app:compileJava'.", kMavenBoth},
        {"Starting a Gradle Daemon", kMavenMarker},
        {"- web#build", kNxLine},
        {"NX   Running target build for 3 projects", kNxBoth},
        {"Tasks:    2 successful, 3 total, 1 failed", kNxLine},
        {"web:build: command exited (1)", kNxLine},
        {"Failed tasks: web#build", kNxLine},
        {"upstream nginx received", kNxMarker},
        {"• Packages in scope: web, TURBO", kNxMarker},
        {"2024-03-14 07:06:40.008 INFO [main] c.e.App - Started in 3.2s", kNothing},
        {"./infra/orders-1/src/config.py", kNothing},
        {"\"email\": \"ana@example.com\",", kNothing},
        {"+    return limit.map((result) => result.id);", kNothing},
        {"path/to/archive.tar:3:4: done", kNothing},
    };
    for (const auto& c : cases) {
        LineHints h = hint_line(c.line);
        EXPECT_EQ(h.may_qualify, c.want == kQualify) << c.line;
        EXPECT_EQ(h.may_be_maven, c.want == kMavenLine || c.want == kMavenBoth) << c.line;
        EXPECT_EQ(h.maven_marker, c.want == kMavenBoth || c.want == kMavenMarker) << c.line;
        EXPECT_EQ(h.may_be_nx, c.want == kNxLine || c.want == kNxBoth) << c.line;
        EXPECT_EQ(h.nx_marker, c.want == kNxBoth || c.want == kNxMarker) << c.line;
        EXPECT_FALSE(h.escape) << c.line;
    }
}

TEST(BuildCompilerDetector, LightLookOverWholeTexts) {
    struct C {
        const char* name;
        std::string text;
        bool may_name;
    };
    const C cases[] = {
        {"empty", "", false},
        {"one non-blank line", "a.c:1:2: error: x\n\n  \n", false},
        {"log lines", "2024-03-14 INFO start\n2024-03-14 ERROR Payment failed: timeout\n", false},
        // A maven or nx line counts only beside its marker, which may come
        // later in the text.
        {"maven line alone", "[ERROR] x\n[ERROR] y\n", false},
        {"maven line and later marker", "[ERROR] x\nDaemon: gradle 8\n", true},
        {"nx line alone", "- web#build\n- api:test\n", false},
        {"nx line and marker", "- web#build\n>  NX   nx run-many\n", true},
        // Colour codes split the shape until they are removed.
        {"coloured", "\x1b[1mmain.c:1:2: \x1b[31merror:\x1b[0m x\nok\n", true},
        {"coloured start", "\x1b[31mmake\x1b[0m: *** [all] Error 2\nok\n", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(may_name_a_tool(c.text), c.may_name) << c.name;
        // Never turn away what the tally recognises.
        if (detect(c.text)) {
            EXPECT_TRUE(may_name_a_tool(c.text)) << c.name;
        }
    }
    EXPECT_TRUE(hint_line("\x1b[31merror\x1b[0m").escape);
}

}  // namespace
