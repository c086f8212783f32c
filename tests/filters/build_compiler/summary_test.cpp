#include "filters/build_compiler/summary.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace filters::build_compiler::summary;
using Classifier = std::function<bool(const PreparedLine&)>;

struct Case {
    const char* name;
    Classifier test;
    std::string line;
    bool want;
};

void run(const std::vector<Case>& cases) {
    for (const auto& c : cases) EXPECT_EQ(c.test(PreparedLine(c.line)), c.want) << c.name << ": " << c.line;
}

TEST(BuildCompilerUtilities, LineColumnShapes) {
    EXPECT_TRUE(is_line_col("12:5"));
    for (auto bad : {"12:", ":5", "12:5:1", "a:1", ""}) EXPECT_FALSE(is_line_col(bad)) << bad;

    EXPECT_EQ(consume_line_col("12:5: error"), " error");
    EXPECT_FALSE(consume_line_col("12:5 error"));
    EXPECT_FALSE(consume_line_col("12: error"));

    EXPECT_EQ(consume_line_col_then_space("3:7 - error"), " - error");
    EXPECT_EQ(consume_line_col_then_space("3:7\xE2\x80\x83x"), "\xE2\x80\x83x");  // em space
    EXPECT_FALSE(consume_line_col_then_space("3:7"));
    EXPECT_FALSE(consume_line_col_then_space("3:7:"));

    for (auto good : {"--> src/main.rs:10:5", "a.c:3:7", "10:5"}) EXPECT_TRUE(has_line_col_suffix(good)) << good;
    for (auto bad : {"a.c:3", "a.c:3:", "5", "--> src/lib.rs", ":5"}) EXPECT_FALSE(has_line_col_suffix(bad)) << bad;
}

// A prepared line answers from the extensions it noted before its colons;
// that must agree with the search on the text, also past the notes' limit.
TEST(BuildCompilerUtilities, PreparedPathSplitAgreesWithSearch) {
    const std::string_view lines[] = {
        "src/a.pyi:3: x",
        "x.h:1: y.cpp:2: z.c:3:",
        "a.cc:1:2: error: x",
        "a.mm:1 b.m:2",
        "A.CPP:1:2: warning: x",
        "foo.bsvelte:1 app.svelte:2",
        "no.extension: here",
        ".c: leading dot",
        "x.go:1 x.go:2 y.yml:3 z.md:4 w.ts:5 v.json:6 u.css:7 t.h:8 s.c:9",
        "a.jsonc:1:2 lint/style/x",
        "",
    };
    const Extensions lists[] = {kBiomeSources, kPythonSources, kMarkdownSources, kYamlSources, kGoSources,
                                kCFamilySources};
    for (auto line : lines) {
        PreparedLine p(line);
        for (auto list : lists) {
            auto want = split_path_after_extension(p.text(), list);
            auto got = split_path_after_extension(p, list);
            ASSERT_EQ(got.has_value(), want.has_value()) << line;
            if (want) {
                EXPECT_EQ(got->path, want->path) << line;
                EXPECT_EQ(got->rest, want->rest) << line;
            }
        }
    }
}

TEST(BuildCompilerUtilities, PathSplitFollowsListOrder) {
    auto a = split_path_after_extension("src/a.pyi:3: x", kPythonSources);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->path, "src/a.pyi");
    EXPECT_EQ(a->rest, "3: x");
    constexpr std::array<std::string_view, 2> reversed = {".py", ".pyi"};
    auto b = split_path_after_extension("src/a.pyi:3: x", reversed);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->path, "src/a.pyi");
    // ".js" never matches inside ".jsx:"; the pattern includes the colon.
    auto c = split_path_after_extension("a.jsx:1:2", kJavaScriptSources);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->path, "a.jsx");
    // The first extension of the list that occurs wins even when a later one
    // occurs earlier in the line.
    auto d = split_path_after_extension("x.h:1: y.cpp:2:", kCFamilySources);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->path, "x.h:1: y.cpp");
    EXPECT_FALSE(split_path_after_extension("a.PY:1", kPythonSources));
}

TEST(BuildCompilerUtilities, NotesAndSourceBars) {
    for (auto good : {"= note: required by a bound", "help: consider borrowing", "Did you mean: foo?", "  =  help: x"})
        EXPECT_TRUE(is_note_help_line(good)) << good;
    for (auto bad : {"notes: x", "helpful", "== note: x"}) EXPECT_FALSE(is_note_help_line(bad)) << bad;
    for (auto good : {"12 |     let x = 1;", "   |", "7|x"}) EXPECT_TRUE(is_rust_source_bar_line(good)) << good;
    for (auto bad : {"12", "x |", ""}) EXPECT_FALSE(is_rust_source_bar_line(bad)) << bad;
    for (auto good : {"> 1 │ const x", "   ╭─[src/a.ts:3:7]", "· ──┬──", "x │ y", "> gradle"})
        EXPECT_TRUE(is_lint_source_context_line(good)) << good;
    EXPECT_FALSE(is_lint_source_context_line("   "));
    EXPECT_FALSE(is_oxlint_frame_line("╭─[src/a.ts:3]"));
    EXPECT_FALSE(is_oxlint_frame_line("╭─[src/a.py:3:7]"));
}

TEST(BuildCompilerClassifiers, JavaScriptAndPython) {
    run({
        {"tsc paren", is_tsc_diagnostic_line, "src/a.ts(3,7): error TS2322: Type 'string' is not assignable", true},
        {"tsc pretty", is_tsc_diagnostic_line, "src/a.ts:3:7 - error TS2322: x", true},
        {"tsc no dash", is_tsc_diagnostic_line, "src/a.ts:3:7 error TS2322", false},
        {"eslint dashed rule", is_eslint_issue_line, "  3:10  error  'x' is defined but never used  no-unused-vars",
         true},
        {"eslint listed rule", is_eslint_issue_line, "12:5  error  Missing semicolon  semi", true},
        {"eslint scoped rule", is_eslint_issue_line, "1:1 warning Bad import @typescript-eslint/no-var", true},
        // Core rules are one plain word.
        {"eslint plain rule", is_eslint_issue_line, "3:1  error  Expected indentation of 2 spaces  indent", true},
        {"eslint plain rule", is_eslint_issue_line, "1:18  error  Missing radix parameter  radix", true},
        {"eslint quoted last", is_eslint_issue_line, "2:3  error  Parsing error: Unexpected keyword 'return'", false},
        {"eslint three words", is_eslint_issue_line, "3:1 error indent", false},
        {"eslint severity", is_eslint_issue_line, "3:1 info Missing semicolon semi", false},
        {"eslint header", is_eslint_file_header, "/home/u/app/src/index.ts", true},
        {"eslint header", is_eslint_file_header, "src/index.ts has problems", false},
        {"eslint summary", is_eslint_summary_line, "✖ 3 problems (3 errors, 0 warnings)", true},
        {"biome", is_biome_diagnostic_line, "src/a.js:1:18 lint/correctness/useParseIntRadix  FIXABLE  ━━━━", true},
        {"biome other group", is_biome_diagnostic_line, "src/a.js:1:18 format/x  ━━━━", false},
        {"biome trailing slash", is_biome_diagnostic_line, "src/a.js:1:18 lint/", false},
        {"oxlint", is_oxlint_diagnostic_line, "  × eslint(no-debugger): Unexpected 'debugger' statement", true},
        {"oxlint", is_oxlint_diagnostic_line, "× something else", false},
        {"ruff", is_ruff_diagnostic_line, "app.py:3:8: F401 [*] `os` imported but unused", true},
        {"ruff long code", is_ruff_diagnostic_line, "app.py:3:8: PLR0913 Too many arguments", true},
        {"ruff lower code", is_ruff_diagnostic_line, "app.py:3:8: f401 unused", false},
        {"ruff five letters", is_ruff_diagnostic_line, "app.py:3:8: ABCDE123 x", false},
        {"ruff no message", is_ruff_diagnostic_line, "app.py:3:8: F401", false},
        {"pyright", is_pyright_diagnostic_line, "  /p/a.py:4:15 - error: Argument of type", true},
        {"pyright info", is_pyright_diagnostic_line, "/p/a.py:8:13 - information: Type of x", true},
        {"pyright summary", is_pyright_summary_line, "2 errors, 1 warning, 0 informations", true},
        {"pyright summary", is_pyright_summary_line, "2 errors, 0 warnings", false},
    });
    auto m = parse_mypy_diagnostic_line("a.py:3: error: bad");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->path, "a.py");
    EXPECT_EQ(m->location, "3");
    EXPECT_EQ(m->message, "error: bad");
    auto n = parse_mypy_diagnostic_line("a.py:3:5: note: see");
    ASSERT_TRUE(n);
    EXPECT_EQ(n->location, "3:5");
    auto p = parse_mypy_diagnostic_line("a.pyi:1: warning: w");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->path, "a.pyi");
    for (auto bad : {"a.py:x: error: bad", "a.py:3: info: bad", "a.py:: error: x", "a.py:3: error:", "a.py:3:error: x"})
        EXPECT_FALSE(parse_mypy_diagnostic_line(bad)) << bad;
}

TEST(BuildCompilerClassifiers, ShellMarkdownYamlGo) {
    run({
        {"sc header", is_shellcheck_header_line, "In script.sh line 7:", true},
        {"sc header", is_shellcheck_header_line, "In script.sh line 7", false},
        {"sc code", is_shellcheck_diagnostic_line, "   ^-- SC2086 (info): Double quote", true},
        {"sc short code", is_shellcheck_diagnostic_line, "SC208 x", false},
        {"sc gcc", is_shellcheck_gcc_diagnostic_line,
         "deploy.sh:12:5: warning: Quote this to prevent word splitting. [SC2086]", true},
        {"sc gcc severity", is_shellcheck_gcc_diagnostic_line, "deploy.sh:12:5: fatal: x [SC2086]", false},
        {"sc gcc column", is_shellcheck_gcc_diagnostic_line, "deploy.sh:12:x: note: x [SC2086]", false},
        {"md", is_markdownlint_diagnostic_line, "README.md:12:81 MD013/line-length Line length [Expected: 80]",
         true},
        {"md no column", is_markdownlint_diagnostic_line, "README.md:4 MD032/blanks-around-lists Lists", true},
        {"md severity word", is_markdownlint_diagnostic_line, "README.md:4 error MD032/blanks-around-lists L", false},
        {"md bare rule", is_markdownlint_diagnostic_line, "README.md:4 MD032 Lists", true},
        {"md rule only", is_markdownlint_diagnostic_line, "README.md:4 MD032", false},
        {"md four digits", is_markdownlint_diagnostic_line, "README.md:4 MD0321 x", false},
        {"yaml header", is_yamllint_file_header, "./k8s/svc.YAML", true},
        {"yaml parsable", is_yamllint_diagnostic_line, "a.yaml:3:1: [error] too many blank lines (1 > 0 allowed) (empty-lines)", true},
        {"yaml standard", is_yamllint_diagnostic_line, "3:1       error    wrong indentation  (indentation)", true},
        {"yaml standard no rule", is_yamllint_diagnostic_line, "3:1       error    wrong indentation", false},
        {"go header", is_go_build_package_header, "# mod/x/y", true},
        {"go header", is_go_build_package_header, "# command-line-arguments", true},
        {"go header", is_go_build_package_header, "# two words/here", false},
        {"go header", is_go_build_package_header, "# main", false},
        {"go diag", is_go_build_diagnostic_line, "main.go:3:2: \"os\" imported and not used", true},
        {"go diag no column", is_go_build_diagnostic_line, "main.go:3: undefined: x", true},
        {"go diag", is_go_build_diagnostic_line, "main.go:3:2: something else", false},
        {"golangci runner", is_golangci_lint_runner_error_line,
         "level=error msg=\"Running error: context loading failed: no go files to analyze\"", true},
        {"golangci summary", is_golangci_lint_summary_line, "2 issues:", true},
    });
    auto g = parse_golangci_lint_issue_line("pkg/a.go:12:5: Error return value of f.Close is not checked (errcheck)");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->path, "pkg/a.go");
    EXPECT_EQ(g->location, "12:5");
    EXPECT_EQ(g->message, "Error return value of f.Close is not checked (errcheck)");
    EXPECT_TRUE(parse_golangci_lint_issue_line("pkg/a.go:12:5: x (ErrCheck)"));
    for (auto bad : {"pkg/a.go:12:5: x (mylinter)", "pkg/a.go:12:5: x (errcheck", "pkg/a.go:12: x (errcheck)"})
        EXPECT_FALSE(parse_golangci_lint_issue_line(bad)) << bad;
}

TEST(BuildCompilerClassifiers, NativeAndBuildSystems) {
    run({
        {"c fatal", is_c_family_diagnostic_line, "src/main.cpp:10:3: fatal error: 'x.h' file not found", true},
        {"c no column", is_c_family_diagnostic_line, "src/main.cpp:10: error: x", false},
        {"swift", is_c_family_diagnostic_line, "main.swift:3:5: error: cannot find 'x' in scope", true},
        {"c header path", is_c_family_diagnostic_line, "/usr/include/c++/12/bits/stl_map.h:502:7: note: candidate", true},
        {"xcode", is_swift_xcode_failure_line, "** BUILD FAILED **", true},
        {"xcode case", is_swift_xcode_failure_line, "** build failed **", false},
        {"make", is_make_ninja_cmake_diagnostic_line, "make[1]: *** [Makefile:12: all] Error 1", true},
        {"make", is_make_ninja_cmake_diagnostic_line, "make all", false},
        {"cmake", is_make_ninja_cmake_diagnostic_line, "CMake Error at CMakeLists.txt:5 (find_package):", true},
        {"msbuild", is_msbuild_diagnostic_line, "Program.cs(12,5): error CS1002: ; expected [app.csproj]", true},
        {"msbuild summary", is_msbuild_summary_line, "Build succeeded.", true},
        {"msbuild summary", is_msbuild_summary_line, "    0 Warning(s)", true},
        {"msbuild summary", is_msbuild_summary_line, "0 warnings", false},
        {"maven", is_maven_gradle_diagnostic_line, "[ERROR] Failed to execute goal x", true},
        {"gradle", is_maven_gradle_diagnostic_line, "> Task :app:compileJava FAILED", true},
        {"nx banner", is_nx_turbo_diagnostic_line, "NX   Running target build for 3 projects", true},
        {"turbo task", is_nx_turbo_diagnostic_line, "- web#build", true},
        {"linker", is_linker_diagnostic_line, "/usr/bin/ld: cannot find -lfoo: No such file or directory", true},
        {"linker", is_linker_diagnostic_line, "l.c:(.text+0xf): undefined reference to `helper'", true},
        {"linker", is_linker_diagnostic_line, "ld.lld: error: undefined symbol: foo", true},
        {"linker", is_linker_diagnostic_line, "build: done", false},
        {"linker", is_linker_diagnostic_line, "world: hello", false},
    });
}

TEST(BuildCompilerSignals, Counts) {
    struct C {
        const char* text;
        bool want;
    };
    for (auto c : {C{"found 2 errors in 1 file", true}, C{"(3 errors)", true}, C{"0 errors", false},
                   C{"2 error(s)", false}, C{"errors: 2", false}, C{"99999999999999999999 errors", false},
                   C{"1 Error", true}})
        EXPECT_EQ(contains_nonzero_count(c.text, "error"), c.want) << c.text;
    EXPECT_TRUE(has_severity_word("error: x", "error"));
    EXPECT_TRUE(has_severity_word("x (error)", "error"));
    EXPECT_FALSE(has_severity_word("errors", "error"));
    EXPECT_FALSE(has_severity_word("my_error", "error"));
    EXPECT_FALSE(has_severity_word("error2", "error"));
}

TEST(BuildCompilerSignals, ErrorAndWarning) {
    struct C {
        const char* line;
        bool error;
        bool warning;
    };
    for (auto c : {
             C{"warning: unused variable", false, true},
             C{"1 warning and 0 errors generated.", false, true},
             C{"× eslint(no-debugger): the error is here", false, false},
             C{"× eslint(no-debugger): build failed", true, false},
             C{"main.c:3:1: error: x", true, false},
             C{"fatal: not a repository", true, false},
             C{"a.py:1:1 - warning: an error", false, true},
             C{"src/a.ts:1:1 - warning TS1: an error", true, true},
             // A zero count in front of the word reports no error.
             C{"    0 Error(s)", false, false},
             C{"    3 Warning(s)", false, true},
             C{"0 errors", false, false},
             C{"1 Error(s)", true, false},
             C{"found 0 error in x; error: real", true, false},
         }) {
        std::vector<std::string_view> lines{c.line};
        EXPECT_EQ(has_error_signal(lines), c.error) << c.line;
        EXPECT_EQ(has_warning_signal(lines), c.warning) << c.line;
    }
}

TEST(BuildCompilerRoles, ProgressSummaryImportant) {
    run({
        {"progress", is_progress_line, "Compiling foo v0.1.0", true},
        {"progress", is_progress_line, "   Checking bar", true},
        {"progress", is_progress_line, "compilingfoo", false},
        {"progress", is_progress_line, "Linking CXX executable app", true},
        {"progress", is_progress_line, "Finished `dev` profile", false},
        {"summary", is_final_summary_line, "Found 3 errors in 2 files (checked 10 source files)", true},
        {"summary", is_final_summary_line, "3 errors, 2 warnings, 0 informations", true},
        {"summary", is_final_summary_line, "3 errors, 1 warning, 0 informations", true},  // pyright's own test
        {"summary", is_final_summary_line, "2 warnings generated.", false},
        {"summary", is_final_summary_line, "warning: `app` (bin) generated 2 warnings", true},
        {"summary", is_final_summary_line, "2 issues:", true},
        {"summary", is_final_summary_line, "compiled fine", false},
        {"important", is_important_diagnostic_line, "  error[E0308]: mismatched types", true},
        {"important", is_important_diagnostic_line, "--> src/main.rs:10:48", true},
        {"important", is_important_diagnostic_line, "--> src/main.rs", false},
        {"important", is_important_diagnostic_line, "Error: lowercase only", false},
        {"important", is_important_diagnostic_line, "a.py:3: error: bad", true},
        {"important", is_important_diagnostic_line, "In function 'main':", false},
    });
}

}  // namespace
