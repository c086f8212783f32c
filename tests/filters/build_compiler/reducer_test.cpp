#include "filters/build_compiler/reducer.h"

#include <gtest/gtest.h>

#include <string>

#include "text.h"

namespace {

using namespace filters::build_compiler::reducer;

std::optional<std::string> attempt(std::string_view text) {
    const text::LineIndex lines(text);
    return try_compress_build_compiler_diagnostics_output(filters::FilterInput{text, lines});
}

std::string repeat(const std::string& line, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += line;
    return out;
}

TEST(BuildCompilerReducer, DeclinesWhatItDoesNotOwn) {
    for (std::string in : {"", "\n", "hello\nworld\n", "error: only one line\n"}) {
        EXPECT_FALSE(attempt(in)) << in;
        EXPECT_EQ(compress_build_compiler_diagnostics_output(in), in);
    }
}

TEST(BuildCompilerReducer, ContextBudgetAndMarkers) {
    // A C diagnostic keeps three context lines; the fourth joins the next
    // marker, and progress lines are never context.
    std::string in = "a.c:1:2: error: first\n"
                     "ctx one\n  ctx two\nctx three\nctx four\n" +
                     repeat("Compiling dependency-with-a-long-name v1.2.3 (/home/user/project/crates/dep)\n", 5) +
                     "a.c:9:2: warning: second\n"
                     "Building x\n"
                     "ctx after\nfiller 1\nfiller 2\nfiller 3\n";
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got,
              "build diagnostics: gcc/clang failure\n"
              "a.c:1:2: error: first\n"
              "ctx one\n  ctx two\nctx three\n"
              "… 6 build progress lines omitted\n"
              "a.c:9:2: warning: second\n"
              "… 1 build progress line omitted\n"
              "ctx after\nfiller 1\nfiller 2\n"
              "… 1 build progress line omitted\n");
}

// A context line of 240 bytes is kept; one of 241 is dropped and leaves the
// budget for the lines after it.
TEST(BuildCompilerReducer, ContextLineLengthBoundary) {
    const std::string inside(240, 'x'), outside(241, 'y');
    std::string in = "a.c:1:2: error: first\n" + inside + "\n" + outside + "\nkept two\nkept three\n" +
                     repeat("dropped\n", 30) + "compilation terminated.\n";
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got,
              "build diagnostics: gcc/clang failure\n"
              "a.c:1:2: error: first\n" +
                  inside +
                  "\n"
                  "… 1 build progress line omitted\n"
                  "kept two\nkept three\n"
                  "… 31 build progress lines omitted\n");
}

TEST(BuildCompilerReducer, MypyGroupsByPath) {
    std::string in;
    for (int i = 1; i <= 6; ++i) in += text::format("src/app/models.py:{}: error: Bad thing  [misc]\n", i);
    in += "src/app/main.py:3: note: See here\nsome chatter\nFound 6 errors in 1 file (checked 2 source files)\n";
    auto got = attempt(in);
    ASSERT_TRUE(got);
    std::string want = "build diagnostics: mypy failure\nsrc/app/models.py\n";
    for (int i = 1; i <= 6; ++i) want += text::format(" {}: error: Bad thing  [misc]\n", i);
    want += "src/app/main.py\n 3: note: See here\n… 1 build progress line omitted\n"
            "Found 6 errors in 1 file (checked 2 source files)\n";
    EXPECT_EQ(*got, want);
}

TEST(BuildCompilerReducer, MypyShortRunIsNotSmaller) {
    std::string in = "a.py:1: error: X  [misc]\na.py:2: error: Y  [misc]\nb.py:3: note: Z\n"
                     "Found 2 errors in 1 file (checked 2 source files)\n";
    EXPECT_FALSE(attempt(in));
}

TEST(BuildCompilerReducer, AdjacentDuplicatesPrintOnce) {
    std::string in = repeat("src/a.ts(1,2): error TS1: same\n", 3) + repeat("Checking things\n", 4) +
                     "Found 3 errors in 1 file.\n";
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got,
              "build diagnostics: tsc failure\nsrc/a.ts(1,2): error TS1: same\n"
              "… 4 build progress lines omitted\nFound 3 errors in 1 file.\n");
}

// Lines that no shape accepts are kept only when they state the failure's
// cause: the linker, collect2 and the driver's "Error 1", javac's located
// errors; a line that merely mentions an error is dropped.
TEST(BuildCompilerReducer, FailureStatementsOutsideEveryShapeAreKept) {
    std::string in = repeat("gcc -c src/file.c -o build/file.o -O2 -Wall -Wextra\n", 20) +
                     "/usr/bin/ld: /tmp/cc1.o: in function `main':\n"
                     "l.c:(.text+0xf): undefined reference to `helper'\n"
                     "collect2: error: ld returned 1 exit status\n"
                     "App.java:12: error: cannot find symbol\n"
                     "For more information about an error, try `rustc --explain E0308`.\n"
                     "make: *** [Makefile:2: all] Error 1\n";
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got,
              "build diagnostics: make/ninja/cmake failure\n"
              "… 20 build progress lines omitted\n"
              "/usr/bin/ld: /tmp/cc1.o: in function `main':\n"
              "l.c:(.text+0xf): undefined reference to `helper'\n"
              "collect2: error: ld returned 1 exit status\n"
              "App.java:12: error: cannot find symbol\n"
              "… 1 build progress line omitted\n"
              "make: *** [Makefile:2: all] Error 1\n");
}

TEST(BuildCompilerReducer, GoKeepsEveryLocatedMessage) {
    std::string in = "# example.com/shop/internal/db\n"
                     "internal/db/db.go:12:6: unusedCount declared but not used\n"
                     "internal/db/db.go:19:9: undefined: undefinedHelper\n" +
                     repeat("go: downloading example.com/dependency v1.2.3 (long enough line)\n", 5);
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got,
              "build diagnostics: go-build failure\n"
              "# example.com/shop/internal/db\n"
              "internal/db/db.go:12:6: unusedCount declared but not used\n"
              "internal/db/db.go:19:9: undefined: undefinedHelper\n"
              "… 5 build progress lines omitted\n");
}

TEST(BuildCompilerReducer, OxlintParseErrorHeadingIsKept) {
    std::string in = "\n  x Expected `:` but found `decimal`\n   ,-[src/broken.js:2:10]\n 1 | function f( {\n" +
                     repeat("   :          some long annotation of the parse position\n", 6) +
                     "  ! eslint(no-debugger): Unexpected debugger\n   ,-[src/a.js:1:1]\n"
                     "Found 1 warning and 1 error.\n";
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got,
              "build diagnostics: oxlint failure\n"
              "x Expected `:` but found `decimal`\n"
              "… 1 build progress line omitted\n"
              "1 | function f( {\n"
              "… 6 build progress lines omitted\n"
              "! eslint(no-debugger): Unexpected debugger\n"
              "   ,-[src/a.js:1:1]\n"
              "Found 1 warning and 1 error.\n");
}

TEST(BuildCompilerReducer, HugeAndOddInputsDoNotBreak) {
    std::string big_line(1 << 20, 'a');
    std::string in = "a.c:1:2: error: x\n" + big_line + "\n\x1b[31m\x1b[\n" + repeat("a.c:1:2: error: x\n", 2);
    auto got = attempt(in);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "build diagnostics: gcc/clang failure\na.c:1:2: error: x\n… 1 build progress line omitted\n"
                    "a.c:1:2: error: x\n");
}

}  // namespace
