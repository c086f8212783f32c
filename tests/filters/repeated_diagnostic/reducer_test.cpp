#include "filters/repeated_diagnostic/reducer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "filters/repeated_diagnostic/native.h"
#include "filters/repeated_diagnostic/summary.h"
#include "support.h"
#include "text.h"

namespace {

using filters::repeated_diagnostic::reducer::compress_repeated_diagnostic_output;

using Lines = std::vector<std::string>;

Lines cat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Lines denied(int from, int to, const std::string& tail = "") {
    Lines out;
    for (int i = from; i <= to; ++i)
        out.push_back(text::format("cannot open /srv/data/file-{}.txt: permission denied{}", i, tail));
    return out;
}

const std::string kTail = " while copying the nightly backup set to the archive volume";

// Lines of one template without paths, numbered from `from` to `to`, long
// enough that a run of four folds smaller.
const std::string kRefused = ": connection refused" + kTail + ", giving up: the last retry failed";
Lines refused(int from, int to) {
    Lines out;
    for (int i = from; i <= to; ++i) out.push_back(text::format("worker {}{}", i, kRefused));
    return out;
}

const Lines kIntro = {"$ ./sync --all", "sync: starting run 7", "sync: reading manifest"};

// Eight coloured lines naming four Windows paths, each twice in a row.
Lines coloured_backslash_paths() {
    Lines out;
    for (int i = 1; i <= 4; ++i)
        for (int twice = 0; twice < 2; ++twice)
            out.push_back(text::format("\x1b[31merror\x1b[0m: cannot read C:\\srv\\in-{}.log", i));
    return out;
}

TEST(RepeatedDiagnosticReducer, FoldsRuns) {
    struct Case {
        const char* name;
        Lines in;
        Lines want;  // empty: the input comes back
    };
    const Case cases[] = {
        {"a run of twelve with six of its paths shown", cat({kIntro, denied(1, 12), {"sync: done"}}),
         cat({{"repeated diagnostics: line summary"},
              kIntro,
              {"… 12 repeated diagnostics: cannot open <path>: permission denied",
               "  first: cannot open /srv/data/file-1.txt: permission denied",
               "  last: cannot open /srv/data/file-12.txt: permission denied", "  affected paths:", "   /srv/",
               "    data/", "     file-1.txt", "     file-2.txt", "     file-3.txt", "     file-10.txt",
               "     file-11.txt", "     file-12.txt", "   … 6 more paths omitted", "sync: done"}})},
        {"runs of three stay as they are",
         cat({kIntro,
              denied(1, 3),
              {"sync: retry"},
              denied(4, 6),
              {"sync: retry"},
              denied(7, 9),
              {"sync: retry"},
              denied(10, 12)}),
         {}},
        {"a run of four folds, runs of three stay",
         cat({kIntro, refused(1, 4), {"sync: retry"}, refused(5, 7), {"sync: retry"}, refused(8, 10)}),
         cat({{"repeated diagnostics: line summary"},
              kIntro,
              {"… 4 repeated diagnostics: worker <num>" + kRefused, "  first: " + refused(1, 1)[0],
               "  last: " + refused(4, 4)[0], "sync: retry"},
              refused(5, 7),
              {"sync: retry"},
              refused(8, 10)})},
        {"six paths, all shown",
         cat({denied(1, 6, kTail), {"", "", "sync: done", "", ""}, denied(7, 8, kTail), {"sync: end", "", ""}}),
         {"repeated diagnostics: line summary",
          "… 6 repeated diagnostics: cannot open <path>: permission denied" + kTail,
          "  first: cannot open /srv/data/file-1.txt: permission denied" + kTail,
          "  last: cannot open /srv/data/file-6.txt: permission denied" + kTail, "  affected paths:", "   /srv/",
          "    data/", "     file-1.txt", "     file-2.txt", "     file-3.txt", "     file-4.txt", "     file-5.txt",
          "     file-6.txt", "", "sync: done", "", denied(7, 7, kTail)[0], denied(8, 8, kTail)[0], "sync: end"}},
        {"seven paths: three, three and one more",
         cat({denied(1, 7, kTail), {"sync: done"}, denied(8, 8, kTail)}),
         {"repeated diagnostics: line summary",
          "… 7 repeated diagnostics: cannot open <path>: permission denied" + kTail,
          "  first: cannot open /srv/data/file-1.txt: permission denied" + kTail,
          "  last: cannot open /srv/data/file-7.txt: permission denied" + kTail, "  affected paths:", "   /srv/",
          "    data/", "     file-1.txt", "     file-2.txt", "     file-3.txt", "     file-5.txt", "     file-6.txt",
          "     file-7.txt", "   … 1 more paths omitted", "sync: done", denied(8, 8, kTail)[0]}},
        {"no paths, no path list", cat({kIntro, Lines(9, "worker: connection refused, retry failed"), {"sync: done"}}),
         cat({{"repeated diagnostics: line summary"},
              kIntro,
              {"… 9 repeated diagnostics: worker: connection refused, retry failed",
               "  first: worker: connection refused, retry failed", "  last: worker: connection refused, retry failed",
               "sync: done"}})},
        {"a repeated path is listed once", cat({kIntro, Lines(8, "error: cannot stat /etc/app.conf")}),
         cat({{"repeated diagnostics: line summary"},
              kIntro,
              {"… 8 repeated diagnostics: error: cannot stat <path>", "  first: error: cannot stat /etc/app.conf",
               "  last: error: cannot stat /etc/app.conf", "  affected paths:", "   /etc/", "    app.conf"}})},
        // The paths of coloured lines and with backslashes are copies of
        // what the lines hold: each is listed once, with slashes.
        {"coloured lines with backslash paths", cat({kIntro, coloured_backslash_paths(), {"sync: done"}}),
         cat({{"repeated diagnostics: line summary"},
              kIntro,
              {"… 8 repeated diagnostics: error: cannot read <path>", "  first: error: cannot read C:\\srv\\in-1.log",
               "  last: error: cannot read C:\\srv\\in-4.log", "  affected paths:", "   C:/", "    srv/",
               "     in-1.log", "     in-2.log", "     in-3.log", "     in-4.log", "sync: done"}})},
        {"runs whose summaries outgrow their lines",
         cat({Lines(4, "error: cannot open /a/b"), {"ok"}, Lines(4, "error: cannot open /a/b")}),
         {}},
    };
    for (const Case& c : cases) {
        const std::string in = text::join_lines(c.in, true);
        const std::string want = c.want.empty() ? in : text::join_lines(c.want, true);
        EXPECT_EQ(compress_repeated_diagnostic_output(in), want) << c.name;
    }
}

TEST(RepeatedDiagnosticReducer, FinalNewlineAndDeclines) {
    const std::string no_newline = text::join_lines(cat({kIntro, denied(1, 8)}), false);
    const std::string out = compress_repeated_diagnostic_output(no_newline);
    EXPECT_TRUE(out.starts_with("repeated diagnostics: line summary\n"));
    EXPECT_FALSE(out.ends_with("\n"));
    for (const char* in : {"", "\n", "plain\n"}) EXPECT_EQ(compress_repeated_diagnostic_output(in), in);
    // Another filter's summary is left alone.
    const std::string owned = text::join_lines(cat({{"build diagnostics: gcc failure"}, denied(1, 12)}), true);
    EXPECT_EQ(compress_repeated_diagnostic_output(owned), owned);
}

// An AddressSanitizer report of twelve frames, one of them in the project.
Lines asan_report() {
    Lines out = {"=================================================================",
                 "==42==ERROR: AddressSanitizer: heap-use-after-free on address 0x602000000010 at pc 0x4a5b6c bp "
                 "0x7ffd1 sp 0x7ffd2",
                 "READ of size 4 at 0x602000000010 thread T0"};
    for (int i = 0; i < 12; ++i) {
        const std::string where = i == 5 ? "/workspace/app/cache.cc" : text::format("/usr/lib/libdep{}.cc", i);
        out.push_back(text::format("    #{} 0x4a5b{} in fn{} {}:{}:3", i, 100 + i, i, where, 10 + i));
    }
    out.push_back("");
    out.push_back("SUMMARY: AddressSanitizer: heap-use-after-free /workspace/app/cache.cc:15:3 in fn5");
    return out;
}

TEST(RepeatedDiagnosticReducer, NativeTraceSummary) {
    const std::string in = text::join_lines(asan_report(), true);
    const Lines want = {
        "native trace: AddressSanitizer: heap-use-after-free",
        "=================================================================",
        "==<pid>==ERROR: AddressSanitizer: heap-use-after-free on address <addr> at pc <addr> bp <addr> sp <addr>",
        "READ of size 4 at <addr> thread T0",
        "#<num> <addr> in fn0 /usr/lib/libdep0.cc:10:3",
        "#<num> <addr> in fn1 /usr/lib/libdep1.cc:11:3",
        "#<num> <addr> in fn2 /usr/lib/libdep2.cc:12:3",
        "… 2 native stack frames omitted",
        "#<num> <addr> in fn5 /workspace/app/cache.cc:15:3",
        "… 4 native stack frames omitted",
        "#<num> <addr> in fn10 /usr/lib/libdep10.cc:20:3",
        "#<num> <addr> in fn11 /usr/lib/libdep11.cc:21:3",
        "SUMMARY: AddressSanitizer: heap-use-after-free /workspace/app/cache.cc:15:3 in fn5",
    };
    EXPECT_EQ(compress_repeated_diagnostic_output(in), text::join_lines(want, true));
}

TEST(RepeatedDiagnosticReducer, NativeContextLines) {
    Lines in = {"Segmentation fault in worker",
                "context one",
                "Segmentation fault in worker",
                "context two",
                "context three",
                "context four",
                "Aborting",
                "context five"};
    for (int i = 0; i < 6; ++i)
        in.push_back(text::format("#{}  0x00007f3a1c2b{} in step{} () from /usr/lib/libwork.so.1", i, 1000 + i, i));
    in.push_back("context one");
    const Lines want = {
        "native trace: Segmentation fault in worker",
        "context one",
        "context two",  // the repeated headline above was dropped but taken
        "… 2 native trace lines omitted",
        "Aborting",
        "… 1 native trace line omitted",
        "#<num>  <addr> in step0 () from /usr/lib/libwork.so.1",
        "#<num>  <addr> in step1 () from /usr/lib/libwork.so.1",
        "#<num>  <addr> in step2 () from /usr/lib/libwork.so.1",
        "… 1 native stack frame omitted",
        "#<num>  <addr> in step4 () from /usr/lib/libwork.so.1",
        "#<num>  <addr> in step5 () from /usr/lib/libwork.so.1",
        "… 1 native trace line omitted",
    };
    EXPECT_EQ(compress_repeated_diagnostic_output(text::join_lines(in, true)), text::join_lines(want, true));

    // Each kind of important context line is kept past the first four.
    for (const char* line : {"SUMMARY: done", "== done ==", "abort", "caught signal 11", "exit code 3", "command failed",
                             "backtrace follows"}) {
        Lines trace = {"Segmentation fault in worker", "context one", "context two", "context three", "context four",
                       line, "context five"};
        for (int i = 0; i < 6; ++i)
            trace.push_back(
                text::format("#{}  0x00007f3a1c2b{} in step{} () from /usr/lib/libwork.so.1", i, 1000 + i, i));
        const std::string out = compress_repeated_diagnostic_output(text::join_lines(trace, true));
        EXPECT_TRUE(text::contains(out, "\n… 1 native trace line omitted\n" + std::string(line) + "\n")) << line;
    }
}

// Markers are written before a line is found to repeat the headline, so
// the stretches on either side of the dropped repeat keep a marker each (as
// in a gdb session whose program printed a few lines before it crashed).
TEST(RepeatedDiagnosticReducer, MarkersAroundADroppedHeadlineRepeat) {
    Lines in = {"boot",
                "load",
                "item 0",
                "item 1",
                "item 2",
                "Program received signal SIGSEGV, Segmentation fault.",
                "0x0000555555555155 in checksum (p=0x0) at worker.c:7",
                "7\t    int sum = p->id * 31;"};
    for (int i = 0; i < 5; ++i)
        in.push_back(text::format("#{}  0x00005555555551{} in f{} (p=0x0) at worker.c:{}", i, 50 + i, i, 7 + i));
    const Lines want = {
        "native trace: Program received signal SIGSEGV, Segmentation fault.",
        "boot",
        "load",
        "item 0",
        "item 1",
        "… 1 native trace line omitted",
        "… 2 native trace lines omitted",
        "#<num>  <addr> in f0 (p=0x0) at worker.c:7",
        "#<num>  <addr> in f1 (p=0x0) at worker.c:8",
        "#<num>  <addr> in f2 (p=0x0) at worker.c:9",
        "#<num>  <addr> in f3 (p=0x0) at worker.c:10",
        "#<num>  <addr> in f4 (p=0x0) at worker.c:11",
    };
    EXPECT_EQ(compress_repeated_diagnostic_output(text::join_lines(in, true)), text::join_lines(want, true));
}

TEST(RepeatedDiagnosticReducer, StackSectionHeadings) {
    using filters::repeated_diagnostic::summary::opens_native_stack_section;
    const std::pair<const char*, bool> rows[] = {
        {"READ of size 4 at 0x603000000050 thread T0", true},
        {"WRITE of size 1 at 0x60200000001a thread T0", true},
        {"0x603000000050 is located 16 bytes inside of 24-byte region [0x603000000040,0x603000000058)", true},
        {"Address 0x7ffd4 is located in stack of thread T0 at offset 36 in frame", true},
        {"freed by thread T0 here:", true},
        {"previously allocated by thread T0 here:", true},
        {"Thread T1 created by T0 here:", true},
        {"Direct leak of 24 byte(s) in 1 object(s) allocated from:", true},
        {"Indirect leak of 6 byte(s) in 1 object(s) allocated from:", true},
        {"  Previous write of size 4 at 0x7b0400000008 by thread T1:", true},
        {"  As if synchronized via sleep:", true},
        {"  Location is heap block of size 16 at 0x7b0400000000 allocated by main thread:", true},
        {"  Location is global 'counter' of size 4 at 0x55d0c1 (prog+0x4014)", true},
        {"  Thread T1 (tid=23172, running) created by main thread at:", true},
        {"  Mutex M0 (0x7b0c00000000) created at:", true},
        {"\x1b[1m\x1b[35mfreed by thread T0 here:\x1b[0m", true},
        // Headings by their start or their words alone must end with ":".
        {"Direct leak of 24 byte(s) in 1 object(s)", false},
        {"mutex lock failed", false},
        {"worker created by main thread", false},
        {"Shadow bytes around the buggy address:", false},
        {"session 1 opened for alice", false},
    };
    for (const auto& [line, heading] : rows) EXPECT_EQ(opens_native_stack_section(line), heading) << line;
}

// Two leaks with the same heading, the first of which keeps no frame: the
// second heading is not dropped as a repeat, or its frames would read as
// the first one's.
TEST(RepeatedDiagnosticReducer, RepeatedHeadingStaysAboveItsFrames) {
    Lines in = {"==9==ERROR: LeakSanitizer: detected memory leaks", ""};
    auto leak = [&](const std::string& heading, const std::string& fn) {
        in.push_back(heading);
        for (int i = 0; i < 5; ++i)
            in.push_back(text::format("    #{} 0x7f00{} in {}{} /opt/pool/pool.c:{}", i, 1000 + i, fn, i, 10 + i));
        in.push_back("");
    };
    leak("Direct leak of 24 byte(s) in 1 object(s) allocated from:", "alloc");
    leak("Direct leak of 8 byte(s) in 1 object(s) allocated from:", "grow");
    leak("Direct leak of 8 byte(s) in 1 object(s) allocated from:", "spill");
    in.push_back("SUMMARY: AddressSanitizer: 40 byte(s) leaked in 3 allocation(s).");
    const Lines want = {
        "native trace: LeakSanitizer: detected memory leaks",
        "==<pid>==ERROR: LeakSanitizer: detected memory leaks",
        "Direct leak of 24 byte(s) in 1 object(s) allocated from:",
        "#<num> <addr> in alloc0 /opt/pool/pool.c:10",
        "#<num> <addr> in alloc1 /opt/pool/pool.c:11",
        "#<num> <addr> in alloc2 /opt/pool/pool.c:12",
        "… 2 native stack frames omitted",
        "Direct leak of 8 byte(s) in 1 object(s) allocated from:",
        "… 5 native stack frames omitted",
        "Direct leak of 8 byte(s) in 1 object(s) allocated from:",
        "… 3 native stack frames omitted",
        "#<num> <addr> in spill3 /opt/pool/pool.c:13",
        "#<num> <addr> in spill4 /opt/pool/pool.c:14",
        "SUMMARY: AddressSanitizer: 40 byte(s) leaked in 3 allocation(s).",
    };
    EXPECT_EQ(compress_repeated_diagnostic_output(text::join_lines(in, true)), text::join_lines(want, true));
}

// Each frame with the section heading it stands under ("" above the first
// heading), both as the summary prints them. In the summary a frame starts
// "#<num>"; in a report it is whatever parses as one.
std::set<std::pair<std::string, std::string>> frames_under_headings(const std::string& text, bool summary) {
    namespace native = filters::repeated_diagnostic::native;
    std::set<std::pair<std::string, std::string>> out;
    std::string heading;
    for (std::string_view line : text::split_lines(text).lines) {
        const std::string normalized = native::normalize_native_line(line);
        if (summary ? normalized.starts_with("#<num>") : native::parse_native_frame_evidence(line).has_value())
            out.emplace(normalized, heading);
        else if (filters::repeated_diagnostic::summary::opens_native_stack_section(line))
            heading = normalized;
    }
    return out;
}

// Real captures keep the line each row names; in the sanitizer reports,
// every kept frame stands under the heading of the stack it came from.
TEST(RepeatedDiagnosticReducer, RealCapturesKeepTheirLines) {
    const std::pair<const char*, const char*> rows[] = {
        {"gdb_null_pointer_argument", "#<num>  <addr> in checksum (p=0x0) at worker.c:7"},
        {"gdb_backtrace_of_segfault", "#<num>  <addr> in walk (n=0x0, depth=1) at crash.c:5"},
        {"asan_use_after_free_stack_sections", "<addr> is located 16 bytes inside of 24-byte region [<addr>,<addr>)"},
        {"asan_use_after_free_stack_sections", "freed by thread T0 here:"},
        {"asan_use_after_free_stack_sections", "previously allocated by thread T0 here:"},
        {"asan_heap_buffer_overflow", "allocated by thread T0 here:"},
        {"lsan_direct_and_indirect_leaks", "Direct leak of 24 byte(s) in 1 object(s) allocated from:"},
        {"lsan_direct_and_indirect_leaks", "Indirect leak of 6 byte(s) in 1 object(s) allocated from:"},
        {"tsan_data_race_stack_sections", "Previous write of size 4 at <addr> by thread T1:"},
        {"tsan_data_race_stack_sections", "As if synchronized via sleep:"},
        {"tsan_data_race_stack_sections", "Location is heap block of size 16 at <addr> allocated by main thread:"},
        {"tsan_data_race_stack_sections", "Thread T1 (tid=23172, running) created by main thread at:"},
    };
    auto compressed = [](const std::string& name) {
        const std::string in = test_support::read_test_file("cases/repeated_diagnostic/" + name + ".in");
        EXPECT_FALSE(in.empty()) << name;
        return std::pair{in, compress_repeated_diagnostic_output(in)};
    };
    for (const auto& [name, line] : rows) {
        const std::string out = compressed(name).second;
        EXPECT_TRUE(text::contains(out, std::string("\n") + line + "\n")) << name << ": " << line << "\n" << out;
    }
    for (const char* name :
         {"asan_heap_use_after_free", "asan_heap_buffer_overflow", "asan_use_after_free_stack_sections",
          "lsan_direct_and_indirect_leaks", "tsan_data_race_stack_sections"}) {
        const auto [in, out] = compressed(name);
        ASSERT_TRUE(out.starts_with("native trace: ")) << name;
        const auto in_report = frames_under_headings(in, false);
        for (const auto& frame : frames_under_headings(out, true))
            EXPECT_TRUE(in_report.contains(frame)) << name << ": " << frame.first << " under " << frame.second;
    }
}

TEST(RepeatedDiagnosticReducer, NativeSummaryNoSmallerThanTheTraceFallsThrough) {
    // Five frames and a marker make a trace, but its summary (the headline
    // and all five frames, their numbers written as "#<num>") is longer
    // than the trace; six lines hold no run to fold, so the text comes back.
    Lines in = {"Segmentation fault"};
    for (int i = 0; i < 5; ++i) in.push_back(text::format("#{} f{} at a.c:{}", i, i, i + 1));
    const std::string text = text::join_lines(in, true);
    EXPECT_EQ(compress_repeated_diagnostic_output(text), text);
}

}  // namespace

namespace {

// Coloured lines with CRLF ends fold on their plain text.
TEST(RepeatedDiagnosticReducer, ColouredCrlfLinesFold) {
    std::string input;
    for (int i = 0; i < 8; ++i)
        input +=
            text::format("\x1b[31mERROR\x1b[0m 2026-01-01T00:00:0{}Z worker-{} job {} failed: connection reset\r\n", i,
                         10 + i, 4700 + i);
    EXPECT_EQ(compress_repeated_diagnostic_output(input),
              "repeated diagnostics: line summary\n"
              "… 8 repeated diagnostics: ERROR <num><num><num>T0<num>:<num>:<num>Z worker-<num> job <num> failed: "
              "connection reset\n"
              "  first: ERROR 2026-01-01T00:00:00Z worker-10 job 4700 failed: connection reset\n"
              "  last: ERROR 2026-01-01T00:00:07Z worker-17 job 4707 failed: connection reset\n");
}

}  // namespace
