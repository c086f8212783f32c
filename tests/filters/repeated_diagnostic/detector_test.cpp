#include "filters/repeated_diagnostic/detector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/repeated_diagnostic/reducer.h"
#include "text.h"

namespace {

using namespace filters::repeated_diagnostic::detector;

using Lines = std::vector<std::string>;

std::string joined(const Lines& lines) { return text::join_lines(lines, true); }

bool owned(const Lines& lines, bool native_mode = false) {
    const std::string text = joined(lines);
    const text::LineIndex index(text);
    return has_other_filter_ownership(index, native_mode);
}

Lines repeat(const std::string& line, int n) { return Lines(static_cast<std::size_t>(n), line); }

Lines cat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Lines kPlain = repeat("plain words", 4);

TEST(RepeatedDiagnosticDetector, OwnershipGuard) {
    struct Case {
        const char* name;
        Lines lines;
        bool owned;
    };
    std::vector<Case> cases = {
        {"blank text", {"", "   "}, true},
        {"plain text", kPlain, false},
        {"an earlier headline", cat({kPlain, {"Build Diagnostics: gcc failure"}}), true},
        {"one array without a colon", {"[1, 2]"}, false},
        {"one object", {"{\"a\": 1}"}, true},
        {"one array of objects", {"[{\"a\": 1}]"}, true},
        {"seven of ten lines are records", cat({repeat("{\"a\": 1}", 7), repeat("plain", 3)}), true},
        {"six of ten lines are records", cat({repeat("{\"a\": 1}", 6), repeat("plain", 4)}), false},
        {"an old-file line alone", cat({kPlain, {"--- a/x"}}), false},
        {"old and new file lines", cat({{"+++ b/x"}, kPlain, {"--- a/x"}}), true},
        {"a hunk header", cat({kPlain, {"@@ -1 +1 @@"}}), true},
        {"Tests alone", cat({kPlain, {"Tests"}}), true},
        {"Testsuite", cat({kPlain, {"Testsuite started"}}), true},
        {"Test alone", cat({kPlain, {"Test"}}), false},
        {"ran tests without a verdict", cat({kPlain, {"Ran 3 tests in 0.1s"}}), false},
        {"ran tests with a verdict", cat({kPlain, {"Ran 3 tests in 0.1s", "OK"}}), true},
        {"a runner log line", cat({kPlain, {"2024-01-01T10:00:00.1Z step\tdone"}}), true},
        {"a CI group", cat({kPlain, {"::group::build"}}), true},
        {"a dashed key", cat({kPlain, {"api-key=abc"}}), true},
        {"a bare token word", cat({kPlain, {"token: abc"}}), false},
        {"three pipes among ten", cat({repeat("a | b", 3), repeat("plain", 7)}), false},
        {"three pipes and a border", cat({repeat("a | b", 3), {"+---+"}, repeat("plain", 6)}), true},
        {"two pipes and a border", cat({repeat("a | b", 2), {"+---+"}, repeat("plain", 7)}), false},
        {"eleven pipes of twenty", cat({repeat("a | b", 11), repeat("plain", 9)}), true},        // 55 %
        {"eleven pipes of twenty-one", cat({repeat("a | b", 11), repeat("plain", 10)}), false},  // 52 %
        {"pytest in lower case", cat({kPlain, {"running PyTest now"}}), true},
    };
    // One row per entry of the guard's lists: headlines and markers, the line
    // starts of diffs, tests and CI logs, build and package phrases, and
    // secret-bearing keys each make the text another filter's.
    for (const char* line :
         {"repeated diagnostics: line summary", "native trace: SIGSEGV", "log templates: repeated line summary",
          "generic log: application summary", "test output: go failure", "ci log: github-actions failure",
          "python traceback: ValueError", "Traceback (most recent call last):", "=== short test summary info ===",
          "see diff --git a/x b/x", "jsonl records=3", "package manager: npm success", "test session starts",
          "Index: x", "Test Files 1 passed", "FAIL src/a.test.ts", "test result: ok.", "Running 3 tests using 1 worker",
          "##[group]x", "::endgroup::", "::error file=x", "::warning x", "Checking foo", "Finished dev",
          "could not compile", "error[E0308]: x", "warning[x]", "Downloading x", "Downloaded x",
          "Installing collected packages: x", "added 3", "3 packages audited", "Resolved 3", "Prepared 3",
          "installed x", "npm warn x", "npm err x", "x password y", "x passwd y", "x secret y", "token=abc",
          "x api_key y", "x apikey y", "x authorization y", "x credential y", "x private_key y", "x access_key y"})
        cases.push_back({line, cat({kPlain, {line}}), true});
    for (const Case& c : cases) EXPECT_EQ(owned(c.lines), c.owned) << c.name;

    const Lines build =
        cat({kPlain, {"Compiling foo v0.1.0", "==1==ERROR: AddressSanitizer: SEGV on unknown address"}});
    EXPECT_TRUE(owned(build, false));
    EXPECT_FALSE(owned(build, true));
    EXPECT_TRUE(owned(cat({kPlain, {"Compiling foo v0.1.0"}}), true));
    // Each trace marker outweighs the build phrase in native mode.
    for (const char* marker : {"AddressSanitizer", "UndefinedBehaviorSanitizer", "ThreadSanitizer", "LeakSanitizer",
                               "MemorySanitizer", "runtime error: x", "Segmentation fault", "stack trace", "backtrace"})
        EXPECT_FALSE(owned(cat({kPlain, {"Compiling foo v0.1.0", marker}}), true)) << marker;
}

std::optional<filters::repeated_diagnostic::types::DiagnosticSignal> repeated(const Lines& lines) {
    const std::string text = joined(lines);
    const text::LineIndex index(text);
    return detect_repeated_diagnostics(index);
}

Lines denied(int n) {
    Lines out;
    for (int i = 1; i <= n; ++i) out.push_back(text::format("cannot open /srv/data/file-{}.txt: permission denied", i));
    return out;
}

TEST(RepeatedDiagnosticDetector, RepeatedTemplateThresholds) {
    EXPECT_FALSE(repeated(denied(7)));                                   // seven nonblank lines
    EXPECT_FALSE(repeated(cat({denied(7), {"plain words"}})));           // seven covered lines
    EXPECT_FALSE(repeated(cat({denied(5), repeat("plain words", 5)})));  // five covered lines
    const auto eight = repeated(cat({denied(6), {"error: disk quota exceeded for user"}, denied(2)}));
    ASSERT_TRUE(eight);
    EXPECT_EQ(eight->repeated_templates, Lines{"cannot open <path>: permission denied"});
    // Beside a template counted eight times, one counted six times is
    // repeated too, one counted five times is not.
    const Lines refused = repeat("worker: connection refused, retry failed", 8);
    const auto six = repeated(cat({denied(6), refused}));
    ASSERT_TRUE(six);
    EXPECT_EQ(six->repeated_templates, (Lines{"cannot open <path>: permission denied", refused[0]}));
    const auto five = repeated(cat({denied(5), refused}));
    ASSERT_TRUE(five);
    EXPECT_EQ(five->repeated_templates, Lines{refused[0]});
    EXPECT_FALSE(repeated(cat({denied(8), repeat("plain words", 15)})));  // 8 of 23: 34 %
    EXPECT_TRUE(repeated(cat({denied(8), repeat("plain words", 14)})));   // 8 of 22: 36 %
}

std::optional<filters::repeated_diagnostic::types::NativeTraceSignal> native(const Lines& lines) {
    const std::string text = joined(lines);
    const text::LineIndex index(text);
    return detect_native_trace(index);
}

// Frames numbered `from` to `to`, each with an address and a module path.
Lines gdb_frames(int from, int to) {
    Lines out;
    for (int i = from; i <= to; ++i)
        out.push_back(text::format("#{}  0x00007f3a1c2b{} in step{} () from /usr/lib/libwork.so.1", i, 1000 + i, i));
    return out;
}

// Frames with an address and a source file but no module path.
Lines local_frames(int from, int to) {
    Lines out;
    for (int i = from; i <= to; ++i)
        out.push_back(text::format("#{}  0x00005555555551{} in step{} () at work.c:{}", i, 10 + i, i, 3 + i));
    return out;
}

// Frames without an address.
Lines bare_frames(int from, int to) {
    Lines out;
    for (int i = from; i <= to; ++i) out.push_back(text::format("#{} step{} () at work.c:{}", i, i, 3 + i));
    return out;
}

TEST(RepeatedDiagnosticDetector, NativeTraceAcceptance) {
    const Lines intro = {"Thread 1 received a fault.", "", "Stopped in worker"};
    const auto eight = native(cat({intro, gdb_frames(0, 7)}));
    ASSERT_TRUE(eight);
    EXPECT_EQ(eight->headline, "Stopped in worker");  // the last nonblank line before the frames
    EXPECT_EQ(eight->evidence_lines.size(), 8u);
    EXPECT_FALSE(native(cat({intro, gdb_frames(0, 6)})));  // seven frames
    EXPECT_FALSE(native(cat({intro, gdb_frames(2, 9)})));  // no run from 0 or 1
    EXPECT_TRUE(native(gdb_frames(0, 7)));                 // the first frame is its own headline

    // A marker line lowers the frame count to five.
    const auto marked = native(cat({{"Segmentation fault in worker"}, gdb_frames(0, 4)}));
    ASSERT_TRUE(marked);
    EXPECT_EQ(marked->headline, "Segmentation fault in worker");
    EXPECT_FALSE(native(cat({{"Segmentation fault in worker"}, gdb_frames(0, 3)})));
    // With a strong marker and addresses, frames 0 to 4 in any order do.
    EXPECT_TRUE(native(cat({{"Segmentation fault"}, gdb_frames(3, 4), gdb_frames(0, 2)})));
    // A weak marker needs a run of five.
    EXPECT_FALSE(native(cat({{"stack trace:"}, gdb_frames(3, 4), gdb_frames(0, 2)})));
    EXPECT_TRUE(native(cat({{"stack trace:"}, gdb_frames(0, 4)})));

    // Without a marker, five of eight frames need an address and a module,
    // and five must run in a row.
    EXPECT_TRUE(native(cat({intro, gdb_frames(0, 4), local_frames(5, 7)})));
    EXPECT_FALSE(native(cat({intro, gdb_frames(0, 3), local_frames(4, 7)})));
    EXPECT_TRUE(native(cat({intro, gdb_frames(0, 4), gdb_frames(10, 12)})));
    EXPECT_FALSE(native(cat({intro, gdb_frames(0, 3), gdb_frames(10, 13)})));
    // A weak marker takes five frames without an address, or five with an
    // address and a module; four of either are not enough.
    EXPECT_TRUE(native(cat({{"stack trace:"}, bare_frames(0, 4)})));
    EXPECT_FALSE(native(cat({{"stack trace:"}, bare_frames(0, 3), local_frames(4, 4)})));
    EXPECT_FALSE(native(cat({{"stack trace:"}, gdb_frames(0, 3), local_frames(4, 4)})));
    // Out of order, a strong marker needs every frame from 0 to 4, and five
    // of them with addresses.
    EXPECT_FALSE(native(cat({{"Segmentation fault"}, gdb_frames(3, 5), gdb_frames(0, 1)})));
    EXPECT_FALSE(native(cat({{"Segmentation fault"}, gdb_frames(3, 4), gdb_frames(0, 1), bare_frames(2, 2)})));
}

TEST(RepeatedDiagnosticDetector, IssueListsQuotingTraces) {
    Lines frames;
    for (int i = 0; i < 6; ++i) frames.push_back(text::format("#{} 0x4a5b6c{} in f{} /app/x.cc:{}", i, i, i, i + 1));
    const Lines todo_header = {"Follow-up issues:",
                               "==42==ERROR: AddressSanitizer: todo heap-use-after-free on address 0x602 at pc 0x5"};
    EXPECT_FALSE(native(cat({todo_header, frames})));
    // Frames in shared libraries make the quoted trace a report after all.
    EXPECT_TRUE(native(cat({todo_header, gdb_frames(0, 5)})));
    // A confirmed header does too.
    const Lines real_header = {"Follow-up issues:",
                               "==42==ERROR: AddressSanitizer: heap-use-after-free on address 0x602 at pc 0x5"};
    const auto confirmed = native(cat({real_header, frames}));
    ASSERT_TRUE(confirmed);
    EXPECT_EQ(confirmed->headline, "AddressSanitizer: heap-use-after-free");
    // Without a strong marker an issue list is never a trace.
    EXPECT_FALSE(native(cat({{"TODO:", "stack trace:"}, gdb_frames(0, 7)})));

    // Five frames in shared libraries are enough, four are not.
    EXPECT_TRUE(native(cat({todo_header, gdb_frames(0, 4)})));
    EXPECT_FALSE(native(cat({todo_header, gdb_frames(0, 3), {frames[4]}})));
    // Each strong marker lets an issue list quote a trace.
    for (const char* marker : {"AddressSanitizer report", "UndefinedBehaviorSanitizer report", "ThreadSanitizer report",
                               "LeakSanitizer report", "MemorySanitizer report", "runtime error: x",
                               "Segmentation fault"})
        EXPECT_TRUE(native(cat({{"TODO:", marker}, gdb_frames(0, 7)}))) << marker;
    // Each word of an issue list, a to-do list or a checklist makes one.
    for (const char* context : {"Follow-up issue 12", "Issue list", "Open issues: 3", "Checklist for the release",
                                "todo later", "Issue", "Issues", "Known issue", "Open issues"})
        EXPECT_FALSE(native(cat({{context, "stack trace:"}, gdb_frames(0, 7)}))) << context;
    // Sanitizer headers that make a quoted report a real one, and lines
    // that do not (each with the lines before it).
    const Lines confirmed_headers[] = {
        {"SUMMARY: AddressSanitizer: heap-use-after-free on address 0x602"},
        {"==1==ERROR: UndefinedBehaviorSanitizer: x-y on address 0x602"},
        {"==1==ERROR: ThreadSanitizer: x-y on address 0x602"},
        {"==1==ERROR: LeakSanitizer: x-y on address 0x602"},
        {"==1==ERROR: MemorySanitizer: x-y on address 0x602"},
        {"==1==ERROR: AddressSanitizer: leak on address 0x602"},
        {"==1==ERROR: AddressSanitizer: segv on address 0x602"},
        {"==1==ERROR: AddressSanitizer: crash on address 0x602"},
        {"==1==ERROR: AddressSanitizer: runtime on address 0x602"},
        {"==1==ERROR: AddressSanitizer: detected on address 0x602"},
        {"==1==ERROR: AddressSanitizer: undefined on address 0x602"},
        {"==1==ERROR: AddressSanitizer: attempting on address 0x602"},
        {"==1==ERROR: AddressSanitizer: deadlysignal on address 0x602"},
        {"==1==ERROR: AddressSanitizer: x-y on 0x602"},
        {"==1==ERROR: AddressSanitizer: x-y at pc 0x5"},
        {"==1==ERROR: AddressSanitizer: DEADLYSIGNAL"},
        {"==1==ERROR: LeakSanitizer: detected memory leaks"},
        {"==1==ERROR: UndefinedBehaviorSanitizer: runtime error here"},
        {"READ of size 4 at 0x602", "==1==ERROR: AddressSanitizer: x-y"},
        {"WRITE of size 4 at 0x602", "==1==ERROR: AddressSanitizer: x-y"},
        {"previously allocated by thread T0 here:", "==1==ERROR: AddressSanitizer: x-y"},
        {"SUMMARY: done", "==1==ERROR: AddressSanitizer: x-y"},
    };
    for (const Lines& header : confirmed_headers)
        EXPECT_TRUE(native(cat({{"Follow-up issues:"}, header, frames}))) << header.back();
    for (const char* header : {"==1==ERROR: AddressSanitizer: x-y", "==1==ERROR: AddressSanitizer: overflow on address 1",
                               "==1==WARNING: AddressSanitizer: x-y on address 0x602",
                               "==1==ERROR: AddressSanitizer: x-y expected on address 0x602",
                               "==1==ERROR: AddressSanitizer: x-y on address 0x602 follow-up",
                               "==1==ERROR: AddressSanitizer: x-y on address 0x602 todo"})
        EXPECT_FALSE(native(cat({{"Follow-up issues:", header}, frames}))) << header;
}

}  // namespace

namespace {

Prospects prospects_of(const Lines& lines) {
    const std::string text = joined(lines);
    const text::LineIndex index(text);
    return assess_prospects(index, true);
}

// The cheap pre-check may only rule out what the detectors would refuse.
TEST(RepeatedDiagnosticDetector, ProspectsNeverMissARun) {
    const Lines filler = repeat("./src/module/file_name.cc", 9);
    for (int offset = 0; offset < 4; ++offset) {
        const Lines lead(static_cast<std::size_t>(offset), "./src/lead/file.cc");
        EXPECT_TRUE(prospects_of(cat({lead, denied(4), filler})).repeated_diagnostics) << offset;
        EXPECT_FALSE(prospects_of(cat({lead, denied(3), filler, denied(3)})).repeated_diagnostics) << offset;
    }
    // Terminal codes may hide a signal or a line's end.
    EXPECT_TRUE(
        prospects_of(cat({filler, repeat("\x1b[31mer\x1b[0mror: cannot open the cache", 4)})).repeated_diagnostics);
    EXPECT_TRUE(prospects_of(cat({filler, repeat("\"quoted\" \x1b[1m\"", 4)})).repeated_diagnostics);
    // Lone paths, quoted literals, comments and short lines never form one.
    EXPECT_FALSE(prospects_of(cat({filler, repeat("\"failed\": \"permission denied\",", 4), repeat("# error here", 4),
                                   repeat("error", 4)}))
                     .repeated_diagnostics);
    // Frame starts behind blanks of any kind count.
    EXPECT_TRUE(prospects_of(cat({filler, repeat("\xC2\xA0 #1 0x4a5b6c in f /a/x.cc:1", 5)})).native_trace);
    EXPECT_FALSE(prospects_of(cat({filler, repeat("see #1 0x4a5b6c in f /a/x.cc:1", 5)})).native_trace);
}

}  // namespace

namespace {

bool diagnostics_possible(const std::string& text) {
    const text::LineIndex index(text);
    return scan_text_facts(index, true).diagnostics_possible;
}

// The byte pass may only rule out what the detector refuses: every stem at
// every place of a 32-byte step, in any case, in short lines (read in one
// pass) and long ones (probed), and the exact run and share limits.
TEST(RepeatedDiagnosticDetector, TextFactsNeverRuleOutAFold) {
    const std::vector<std::string> stems = {"abort",   "cannot",    "can't",          "denied",       "error",
                                            "exception", "fail",    "fatal",          "invalid",      "panic",
                                            "terminate", "unable",  "warn",           "no such file", "not found",
                                            "segmentation fault", "core dumped", "stack trace"};
    for (const std::string& stem : stems)
        for (std::size_t lead = 0; lead < 40; lead += 3)
            for (bool upper : {false, true}) {
                const std::string word = upper ? text::to_upper(stem) : stem;
                const std::string line = std::string(lead, 'x') + " " + word + " at step ";
                Lines lines;
                for (int i = 0; i < 8; ++i) lines.push_back(line + std::to_string(i));
                const std::string text = joined(lines);
                EXPECT_TRUE(diagnostics_possible(text)) << word << " " << lead;
                // Three stem lines in a row never fold.
                Lines broken = lines;
                for (std::size_t i = 3; i < broken.size(); i += 4) broken[i] = std::string(lead, 'x') + " plain";
                EXPECT_FALSE(diagnostics_possible(joined(broken))) << word << " " << lead;
            }

    // Too few stem lines are ruled out where the stem filter counts them
    // (on processors with AVX2); the detector refuses them everywhere.
    enum class Want { kPossible, kTooFewStemLines, kNoRun };
    struct Case {
        const char* name;
        std::string text;
        Want want;
    };
    const std::string filler_long = std::string(70, 'y') + " plain";
    const Case cases[] = {
        {"no final newline", joined(repeat("plain", 9)) + text::join_lines(denied(4), false), Want::kTooFewStemLines},
        {"a run cut by the end", joined(repeat("plain", 9)) + text::join_lines(denied(3), false), Want::kNoRun},
        {"crlf line ends", text::join(cat({repeat("plain", 6), denied(8)}), "\r\n"), Want::kPossible},
        {"seven stem lines", joined(cat({repeat("plain", 2), denied(7)})), Want::kTooFewStemLines},
        {"terminal codes only", joined(repeat("\x1b[1mcolored plain text\x1b[0m", 8)), Want::kPossible},
        {"a run at the end of a long text", joined(cat({repeat(filler_long, 2000), repeat("ok", 2000), denied(3000)})),
         Want::kPossible},
        {"a run after long short-line filler", joined(cat({repeat("ok", 30000), denied(16500)})), Want::kPossible},
        {"8 of 23 lines with stems", joined(cat({denied(8), repeat("plain words", 15)})), Want::kTooFewStemLines},
        {"8 of 22 lines with stems", joined(cat({denied(8), repeat("plain words", 14)})), Want::kPossible},
        {"blank lines do not count", joined(cat({denied(8), repeat("", 15), repeat("plain words", 14)})),
         Want::kPossible},
    };
    for (const Case& c : cases) {
        const bool possible = diagnostics_possible(c.text);
        if (c.want != Want::kTooFewStemLines) {
            EXPECT_EQ(possible, c.want == Want::kPossible) << c.name;
        }
        const text::LineIndex index(c.text);
        const bool folds = detect_repeated_diagnostics(index).has_value();
        EXPECT_TRUE(!folds || possible) << c.name;
        EXPECT_TRUE(!folds || c.want == Want::kPossible) << c.name;
    }
}

}  // namespace

namespace {

// Long lines are probed for a run: lines whose leading tokens are kept as
// they are in the template and differ are never one run; lines whose
// leading tokens differ only where the template rewrites them, or where
// terminal codes or Unicode spaces stand, may be.
TEST(RepeatedDiagnosticDetector, LeadingTokensRuleOutOnlyDifferentTemplates) {
    const std::string tail = " worker: cannot open the cache file /var/cache/app/data.bin for reading";
    struct Case {
        const char* name;
        std::string first;
        std::string second;
        bool folds;
    };
    const Case cases[] = {
        {"different first words", "Retry", "Cache", false},
        {"different second words", "<p>Retry now", "<p>Retry later", false},
        {"numbers", "12:00:01", "12:00:02", true},
        {"paths", "/srv/a/x.log:", "/srv/b/y.log:", true},
        {"hashes", "deadbeefcafe", "cafebabedead", true},
        {"terminal codes", "\x1b[31mERROR\x1b[0m", "ERROR", true},
        {"a no-break space", "ERROR\xC2\xA0", "ERROR", true},
        {"a leading em space", "\u2003ERROR", "ERROR", true},
    };
    for (const Case& c : cases) {
        Lines lines;
        for (int i = 0; i < 6; ++i) lines.insert(lines.end(), {c.first + tail, c.second + tail});
        const std::string text = joined(lines);
        const text::LineIndex index(text);
        EXPECT_EQ(diagnostics_possible(text), c.folds) << c.name;
        EXPECT_EQ(
            filters::repeated_diagnostic::reducer::try_compress_repeated_diagnostic_output({text, index}).has_value(),
            c.folds)
            << c.name;
    }
}

}  // namespace
