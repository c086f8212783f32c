#include "filters/build_compiler/reducer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../support.h"
#include "text.h"

namespace {

using namespace filters::build_compiler::reducer;
using test_support::Case;

std::string repeat(const std::string& line, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += line;
    return out;
}

// Each row's input through the filter; a row whose `want` equals its input
// is one that the filter declines.
void expect_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const text::LineIndex lines(c.in);
        auto attempt = try_compress_build_compiler_diagnostics_output(filters::FilterInput{c.in, lines});
        EXPECT_EQ(attempt.has_value(), c.want != c.in) << c.name;
        EXPECT_EQ(compress_build_compiler_diagnostics_output(c.in), c.want) << c.name;
    }
}

TEST(BuildCompilerReducer, DeclinesWhatItDoesNotOwn) {
    const std::string mypy_short =
        "a.py:1: error: X  [misc]\na.py:2: error: Y  [misc]\nb.py:3: note: Z\n"
        "Found 2 errors in 1 file (checked 2 source files)\n";
    expect_cases({
        {"empty", "", ""},
        {"newline", "\n", "\n"},
        {"plain", "hello\nworld\n", "hello\nworld\n"},
        {"one line", "error: only one line\n", "error: only one line\n"},
        // Grouped under their paths, four diagnostics take more room.
        {"short mypy run", mypy_short, mypy_short},
    });
}

TEST(BuildCompilerReducer, ContextAndMarkers) {
    const std::string inside(240, 'x'), outside(241, 'y');
    std::string mypy_in, mypy_want = "build diagnostics: mypy failure\nsrc/app/models.py\n";
    for (int i = 1; i <= 6; ++i) {
        mypy_in += text::format("src/app/models.py:{}: error: Bad thing  [misc]\n", i);
        mypy_want += text::format(" {}: error: Bad thing  [misc]\n", i);
    }
    mypy_in += "src/app/main.py:3: note: See here\nsome chatter\nFound 6 errors in 1 file (checked 2 source files)\n";
    mypy_want +=
        "src/app/main.py\n 3: note: See here\n… 1 build progress line omitted\n"
        "Found 6 errors in 1 file (checked 2 source files)\n";
    expect_cases({
        // A C diagnostic keeps three context lines; the fourth joins the
        // next marker, and progress lines are never context.
        {"budget",
         "a.c:1:2: error: first\nctx one\n  ctx two\nctx three\nctx four\n" +
             repeat("Compiling dependency-with-a-long-name v1.2.3 (/home/user/project/crates/dep)\n", 5) +
             "a.c:9:2: warning: second\nBuilding x\nctx after\nfiller 1\nfiller 2\nfiller 3\n",
         "build diagnostics: gcc/clang failure\na.c:1:2: error: first\nctx one\n  ctx two\nctx three\n"
         "… 6 build progress lines omitted\na.c:9:2: warning: second\n… 1 build progress line omitted\n"
         "ctx after\nfiller 1\nfiller 2\n… 1 build progress line omitted\n"},
        // A context line of 240 bytes is kept; one of 241 is dropped and
        // leaves the budget for the lines after it.
        {"context length boundary",
         "a.c:1:2: error: first\n" + inside + "\n" + outside + "\nkept two\nkept three\n" + repeat("dropped\n", 30) +
             "compilation terminated.\n",
         "build diagnostics: gcc/clang failure\na.c:1:2: error: first\n" + inside +
             "\n… 1 build progress line omitted\nkept two\nkept three\n… 31 build progress lines omitted\n"},
        {"mypy grouped by path", mypy_in, mypy_want},
        {"adjacent repeats",
         repeat("src/a.ts(1,2): error TS1: same\n", 3) + repeat("Checking things\n", 4) + "Found 3 errors in 1 file.\n",
         "build diagnostics: tsc failure\nsrc/a.ts(1,2): error TS1: same\n… 4 build progress lines omitted\n"
         "Found 3 errors in 1 file.\n"},
        {"huge and odd lines",
         "a.c:1:2: error: x\n" + std::string(1 << 20, 'a') + "\n\x1b[31m\x1b[\n" + repeat("a.c:1:2: error: x\n", 2),
         "build diagnostics: gcc/clang failure\na.c:1:2: error: x\n… 1 build progress line omitted\n"
         "a.c:1:2: error: x\n"},
    });
}

// Lines that no shape accepts are kept only where they carry a failure's
// cause; a line that merely mentions an error is dropped.
TEST(BuildCompilerReducer, CausesOutsideEveryShape) {
    expect_cases({
        {"linker, collect2, javac and the driver",
         repeat("gcc -c src/file.c -o build/file.o -O2 -Wall -Wextra\n", 20) +
             "/usr/bin/ld: /tmp/cc1.o: in function `main':\n"
             "l.c:(.text+0xf): undefined reference to `helper'\n"
             "collect2: error: ld returned 1 exit status\n"
             "App.java:12: error: cannot find symbol\n"
             "For more information about an error, try `rustc --explain E0308`.\n"
             "make: *** [Makefile:2: all] Error 1\n",
         "build diagnostics: make/ninja/cmake failure\n… 20 build progress lines omitted\n"
         "/usr/bin/ld: /tmp/cc1.o: in function `main':\nl.c:(.text+0xf): undefined reference to `helper'\n"
         "collect2: error: ld returned 1 exit status\nApp.java:12: error: cannot find symbol\n"
         "… 1 build progress line omitted\nmake: *** [Makefile:2: all] Error 1\n"},
        {"ninja and an eslint parse error",
         "[1/3] Building CXX object a.o\nFAILED: a.o\n  1:1  error  Parsing error: Unexpected token\n" +
             repeat("[2/3] Building CXX object b.o with a long command line\n", 4) +
             "ninja: build stopped: subcommand failed.\n",
         "build diagnostics: make/ninja/cmake failure\n… 1 build progress line omitted\nFAILED: a.o\n"
         "1:1  error  Parsing error: Unexpected token\n… 4 build progress lines omitted\n"
         "ninja: build stopped: subcommand failed.\n"},
        {"go located messages",
         "# example.com/shop/internal/db\ninternal/db/db.go:12:6: unusedCount declared but not used\n"
         "internal/db/db.go:19:9: undefined: undefinedHelper\n" +
             repeat("go: downloading example.com/dependency v1.2.3 (long enough line)\n", 5),
         "build diagnostics: go-build failure\n# example.com/shop/internal/db\n"
         "internal/db/db.go:12:6: unusedCount declared but not used\n"
         "internal/db/db.go:19:9: undefined: undefinedHelper\n… 5 build progress lines omitted\n"},
        {"oxlint parse error heading",
         "\n  x Expected `:` but found `decimal`\n   ,-[src/broken.js:2:10]\n 1 | function f( {\n" +
             repeat("   :          some long annotation of the parse position\n", 6) +
             "  ! eslint(no-debugger): Unexpected debugger\n   ,-[src/a.js:1:1]\nFound 1 warning and 1 error.\n",
         "build diagnostics: oxlint failure\nx Expected `:` but found `decimal`\n… 1 build progress line omitted\n"
         " 1 | function f( {\n… 6 build progress lines omitted\n! eslint(no-debugger): Unexpected debugger\n"
         "   ,-[src/a.js:1:1]\nFound 1 warning and 1 error.\n"},
    });
}

// A source excerpt keeps the indent that lines its caret up with the
// source; other kept lines are trimmed as before.
TEST(BuildCompilerReducer, SourceExcerptsKeepTheirIndent) {
    const std::string progress = repeat("Compiling dependency-with-a-long-name v1.2.3 (/home/user/project/dep)\n", 4);
    expect_cases({
        {"numbered line and caret",
         progress + "a.c:210:12: warning: conversion [-Wsign-conversion]\n  210 |     s->len += ret;\n"
                    "      |            ^~\n",
         "build diagnostics: gcc/clang warning\n… 4 build progress lines omitted\n"
         "a.c:210:12: warning: conversion [-Wsign-conversion]\n  210 |     s->len += ret;\n      |            ^~\n"},
        {"rust bars",
         progress + "error[E0308]: mismatched types\n --> src/main.rs:4:18\n  |\n4 |     let x: u32 = \"a\";\n"
                    "  |            ---   ^^^ expected `u32`\n",
         "build diagnostics: cargo/rustc failure\n… 4 build progress lines omitted\n"
         "error[E0308]: mismatched types\n--> src/main.rs:4:18\n  |\n4 |     let x: u32 = \"a\";\n"
         "  |            ---   ^^^ expected `u32`\n"},
        // Digits and a bar with no blank between are no excerpt of this
        // shape; nor is a word before the bar.
        {"other bar lines trimmed",
         progress + "a.c:1:2: error: x\n  12| y\nctx\nctx\nctx\n   x | z\n  a.c:3:4: note: indented\n",
         "build diagnostics: gcc/clang failure\n… 4 build progress lines omitted\na.c:1:2: error: x\n12| y\n"
         "… 4 build progress lines omitted\na.c:3:4: note: indented\n"},
    });
}

// Real captures, each with the lines it was kept for: they survive the
// filter as written (indent included where it lines up an excerpt).
TEST(BuildCompilerReducer, CapturesKeepTheirLines) {
    struct Capture {
        const char* file;
        std::vector<std::string> lines;
    };
    const Capture captures[] = {
        {"make_k_target_not_remade.in",
         {"make: *** [Makefile:8: parse.o] Error 1", "make: Target 'libsvc.a' not remade because of errors."}},
        {"gcc_wconversion_excerpts.in",
         {"  210 |     s->len += ret;\n      |            ^~",
          "  231 |     return sum + (sum >> 16);\n"
          "      |            ~~~~^~~~~~~~~~~~~"}},
        {"clang_wconversion_excerpts.in", {"    s->len += ret;\n           ~~ ^~~"}},
        // A plain core rule after the column gap is a rule; a parse error's
        // last word ("return") is not, and its line is kept as printed.
        {"eslint_core_rules_stylish.in",
         {"12:17 error Missing radix parameter radix",
          "7:9 warning Identifier 'unused_total' is not in camel case camelcase",
          "12:10 error 'formatMoney' is defined but never used no-unused-vars",
          "3:3  error  Parsing error: Unexpected token return"}},
    };
    for (const Capture& c : captures) {
        const std::string in = test_support::read_test_file(std::string("cases/build_compiler/") + c.file);
        ASSERT_FALSE(in.empty()) << c.file;
        const std::string out = compress_build_compiler_diagnostics_output(in);
        ASSERT_TRUE(out.starts_with("build diagnostics: ")) << c.file;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(text::contains(out, "\n" + line + "\n")) << c.file << ": " << line;
    }
}

}  // namespace
