#include "filters/repeated_diagnostic/source_guard.h"

#include <gtest/gtest.h>

namespace {

using filters::repeated_diagnostic::source_guard::looks_like_source_or_code_statement;

TEST(RepeatedDiagnosticSourceGuard, TellsCodeFromDiagnostics) {
    struct Case {
        const char* line;
        bool source;
    };
    const Case cases[] = {
        {"", false},
        {"   ", false},
        {"error: failed", true},  // a keyed entry with an identifier value
        {"error: failed to open", false},
        {"timeout = 30;", true},
        {"If the build fails, retry", true},  // keywords are read in lower case
        {"- item", true},
        {"* item", true},
        {"+ item", true},
        {"1. step", true},
        {"12) step", true},
        {"-", false},
        {"1.step", false},
        {". step", false},  // a numbered marker needs a digit
        {"#42 add retries", true},
        {"#include <x>", true},
        {"#7 fixed", true},  // not a hash comment, but an issue-list row
        {"-- note", true},
        {"--", false},
        {"--x", false},
        {"logger.info(x)", true},
        {"console.log(1)", true},
        {"log.txt written", false},
        {"foo('a')", true},
        {"x = obj.run(key=1)", true},
        {"await send('x')", true},
        {"foo(bar)", false},
        {"{a: 1, b: 'x'}", true},
        {"[{a: 1}, 'y']", true},
        {"{a: 1, b c}", false},
        {"{}", false},
        {"rb'abc'", true},
        {"`word`", true},
        {"bruf'x'", false},
        {"bru'x'", true},  // three prefix letters at most
        {"\"", true},
        {"value: a:b", false},  // neither an identifier path nor balanced text
        {"value: a::b", true},
        {"limit: 12.", true},
        {"limit: -", false},
        {"cfg = {'a': [1, 2]} + extra", true},  // text may follow the first closed literal
        {"cfg = {'a': [1, 2)}", false},
        {"// cannot open file", true},
        {"<!-- failed -->", true},
        {"def run(): raise Error('x')", true},
        {"tar: data/x.txt: Cannot open: Permission denied", false},
        {"/*x failed", true},
        {"*x failed", true},
        {"log.warn(x)", true},
        {"cannot open 'x' (retry),", true},
        {"cannot open 'x' (retry);", true},
        {"cannot open 'x' (retry)", true},
        {"await send('x') now", true},
    };
    for (const Case& c : cases) EXPECT_EQ(looks_like_source_or_code_statement(c.line), c.source) << c.line;
    // One row per keyword that starts a statement and per string prefix.
    for (const char* line : {"def x", "class x", "function x", "fn x", "pub fn x", "pub async fn x", "if x", "for x",
                             "while x", "return x", "raise x", "throw x", "assert x", "const x", "let x", "var x",
                             "async def x", "async class x", "async function x", "async fn x", "async pub fn x",
                             "B'x'", "F'x'", "R'x'", "U'x'", "b'x'", "f'x'", "r'x'", "u'x'"})
        EXPECT_TRUE(looks_like_source_or_code_statement(line)) << line;
}

}  // namespace
