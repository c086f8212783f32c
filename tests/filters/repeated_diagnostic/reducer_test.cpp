#include "filters/repeated_diagnostic/reducer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

const Lines kIntro = {"$ ./sync --all", "sync: starting run 7", "sync: reading manifest"};

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
}

TEST(RepeatedDiagnosticReducer, TooShortNativeSummaryFallsThrough) {
    // Five frames make a trace, but its summary of three lines is never
    // used; the repeated lines are folded instead.
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
        input += text::format("\x1b[31mERROR\x1b[0m 2026-01-01T00:00:0{}Z worker-{} job {} failed: connection reset\r\n",
                              i, 10 + i, 4700 + i);
    EXPECT_EQ(compress_repeated_diagnostic_output(input),
              "repeated diagnostics: line summary\n"
              "… 8 repeated diagnostics: ERROR <num><num><num>T0<num>:<num>:<num>Z worker-<num> job <num> failed: "
              "connection reset\n"
              "  first: ERROR 2026-01-01T00:00:00Z worker-10 job 4700 failed: connection reset\n"
              "  last: ERROR 2026-01-01T00:00:07Z worker-17 job 4707 failed: connection reset\n");
}

}  // namespace
