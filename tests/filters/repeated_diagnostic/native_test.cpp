#include "filters/repeated_diagnostic/native.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using namespace filters::repeated_diagnostic::native;

TEST(RepeatedDiagnosticNative, FrameEvidence) {
    struct Case {
        const char* line;
        bool frame;
        std::uint64_t number = 0;
        bool address = false, module = false, binary = false, project = false;
    };
    const Case cases[] = {
        {"#0 0x4a5b6c in main /workspace/app/main.cc:12:3", true, 0, true, true, false, true},
        {"#3 0x7f12 in start (libdyld.dylib+0x1a2b)", false},
        {"#3 0x7f123 in start (libdyld.dylib+0x1a2b)", true, 3, true, true, true, false},  // seven bytes
        {"#4 0x1f2034 in start (libdyld.dylib+0x15f3d)", true, 4, true, true, true, false},
        {"#1 main at src/main.rs:10", true, 1, false, false, false, true},
        {"#1 main", false},
        {"#2 0x4a5b6c in f /repo/src/node_modules/x/y.cc:3", true, 2, true, true, false, false},
        {"#123456789012345678901 0x4a5b6c in main /a/main.cc:1", false},
        {"#5", false},
        {"#x foo", false},
        {"    #7  0x00007ffff7a42e97 in raise () from /lib/x86_64-linux-gnu/libc.so.6", true, 7, true, true, true,
         false},
        {"#6  0x0000555555555208 in main () at crash.c:9", true, 6, true, false, false, false},
        {"#0  main () at crash.c:9", true, 0, false, false, false, false},
        {"#3 pc 0x0004a2c1 /system/lib/libc.so (abort+62)", true, 3, true, true, true, false},
        {"#3 pc 0x4a2c1 /system/lib/libc.so (abort+62)", true, 3, true, true, true, false},  // five hex digits
        {"#3 pc 0x4a2c /system/lib/libc.so (abort+62)", false},
        // Each place of the project's own source, and each binary suffix.
        {"#0 0x4a5b6c in main /workspaces/app/main.cc:12", true, 0, true, true, false, true},
        {"#0 0x4a5b6c in main /home/dev/src/main.cc:12", true, 0, true, true, false, true},
        {"#0 0x4a5b6c in main /app/main.cc:12", true, 0, true, true, false, true},
        {"#2 0x00007ff6a1 in start (prog.exe+0x1a2b)", true, 2, true, true, true, false},
        {"#2 0x00007ff6a1 in start (kernel32.dll+0x1a2b)", true, 2, true, true, true, false},
    };
    for (const Case& c : cases) {
        const auto got = parse_native_frame_evidence(c.line);
        ASSERT_EQ(got.has_value(), c.frame) << c.line;
        if (!got) continue;
        EXPECT_EQ(got->frame_number, c.number) << c.line;
        EXPECT_EQ(got->has_address, c.address) << c.line;
        EXPECT_EQ(got->has_module_path, c.module) << c.line;
        EXPECT_EQ(got->in_binary, c.binary) << c.line;
        EXPECT_EQ(got->in_project, c.project) << c.line;
    }
}

TEST(RepeatedDiagnosticNative, HeadlinesAndNormalisedLines) {
    EXPECT_EQ(native_headline_summary(
                  "==42==ERROR: AddressSanitizer: heap-use-after-free on address 0x6020 at pc 0x5 bp 0x6"),
              "AddressSanitizer: heap-use-after-free");
    EXPECT_EQ(native_headline_summary("SUMMARY: UndefinedBehaviorSanitizer: undefined-behavior ub.c:3:41 in add"),
              "UndefinedBehaviorSanitizer: undefined-behavior ub.c:3:41");
    const std::string long_line(300, 'z');
    EXPECT_EQ(native_headline_summary(long_line), std::string(140, 'z'));
    EXPECT_EQ(native_headline_summary(std::string(139, 'z') + "é tail"), std::string(139, 'z') + "é");
    EXPECT_EQ(normalize_native_line("  \x1b[1m#12 0x7f00aa in f /a/b.c:1\x1b[0m"), "#<num> <addr> in f /a/b.c:1");
    EXPECT_EQ(normalize_native_line("#3"), "#<num>");
    // A null value stays as written; any other digit makes it an address.
    const std::pair<const char*, const char*> values[] = {
        {"#1 checksum (p=0x0) at worker.c:14", "#<num> checksum (p=0x0) at worker.c:14"},
        {"#0  0x0000555555555145 in checksum (p=0x00000000, q=0X0) at worker.c:7",
         "#<num>  <addr> in checksum (p=0x00000000, q=0X0) at worker.c:7"},
        {"#2 f (p=0x10, q=0x0a, r=0x000000000001) at w.c:3", "#<num> f (p=<addr>, q=<addr>, r=<addr>) at w.c:3"},
    };
    for (const auto& [line, want] : values) EXPECT_EQ(normalize_native_line(line), want) << line;
    EXPECT_EQ(native_headline_summary("==7==ERROR: AddressSanitizer: SEGV on unknown address 0x000000000000 (pc "
                                      "0x55d0c1 bp 0x7ffd2a sp 0x7ffd28 T0)"),
              "AddressSanitizer: SEGV on unknown address 0x000000000000 (pc <addr> bp <addr> sp <addr> T0)");
    EXPECT_EQ(normalize_native_line("#3x"), "#3x");
    EXPECT_EQ(strip_native_binary_offset("libfoo.so+0x1a2b"), "libfoo.so");
    EXPECT_EQ(strip_native_binary_offset("libfoo.so+0x"), "libfoo.so+0x");
    EXPECT_TRUE(token_has_native_file_location("main.cc:12:3"));
    EXPECT_TRUE(token_has_native_file_location("(libc.so:0)"));
    EXPECT_FALSE(token_has_native_file_location("main.cc"));
    EXPECT_FALSE(token_has_native_file_location(":12"));
    for (const char* ext :
         {".c", ".cc", ".cpp", ".h", ".hpp", ".rs", ".go", ".swift", ".m", ".mm", ".so", ".dylib", ".dll", ".exe"})
        EXPECT_TRUE(token_has_native_file_location(std::string("main") + ext + ":12")) << ext;
    // Each sanitizer names the headline, which ends before the place.
    const std::pair<const char*, const char*> headlines[] = {
        {"WARNING: ThreadSanitizer: data race (pid=7) at main.c:3", "ThreadSanitizer: data race (pid=7)"},
        {"==7==ERROR: LeakSanitizer: detected memory leaks in main", "LeakSanitizer: detected memory leaks"},
        {"==7==WARNING: MemorySanitizer: use-of-uninitialized-value on 0x7ffd24 x",
         "MemorySanitizer: use-of-uninitialized-value"},
    };
    for (const auto& [line, want] : headlines) EXPECT_EQ(native_headline_summary(line), want) << line;
}

}  // namespace
