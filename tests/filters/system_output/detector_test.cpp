#include "filters/system_output/detector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../support.h"
#include "text.h"

namespace {

using namespace filters::system_output::detector;
using namespace test_support;

// Runs a parser over the lines of a text built from `lines`.
template <class Parse>
auto parse(Parse p, const Texts& lines) {
    const std::string text = joined(lines);
    const text::LineIndex index(text);
    return p(index).has_value();
}

struct Shape {
    const char* name;
    Texts lines;
    bool recognised;
};

void expect_shapes(bool (*run)(const Texts&), const std::vector<Shape>& shapes) {
    for (const Shape& s : shapes) EXPECT_EQ(run(s.lines), s.recognised) << s.name;
}

TEST(SystemOutputDetector, EnvShapes) {
    const Texts upper = {"A=1", "B=2", "C=3", "D=4", "E=5", "F=6", "G=7", "H=8", "I=9", "J=10", "K=11"};
    const Texts lower = {"a=1", "b=2", "c=3", "d=4", "e=5", "f=6", "g=7", "h=8", "i=9", "j=10", "k=11"};
    std::vector<Shape> shapes = {
        {"eleven lines", upper, false},
        {"twelve lines", concat({upper, {"L=12"}}), true},
        {"an empty line", concat({upper, {""}}), false},
        {"an export line", concat({upper, {"export L=12"}}), false},
        {"a declare line", concat({upper, {"declare -x L=12"}}), false},
        {"a key starting with a digit", concat({upper, {"1L=12"}}), false},
        {"a key holding a dash", concat({upper, {"SSH-KEY=x"}}), false},
        {"a key holding a dot", concat({upper, {"a.b=x"}}), false},
        {"a line without =", concat({upper, {"L"}}), false},
        {"twelve lower-case keys", concat({lower, {"l=12"}}), false},
        {"lower-case keys and HOME", concat({lower, {"HOME=/root"}}), true},
        {"half upper-case keys",
         concat({Texts(lower.begin(), lower.begin() + 6), Texts(upper.begin(), upper.begin() + 6)}), true},
        {"five upper-case keys of twelve",
         concat({Texts(lower.begin(), lower.begin() + 7), Texts(upper.begin(), upper.begin() + 5)}), false},
        {"lower-case keys and an upper-case key that names nothing known", concat({lower, {"EDITOR=vim"}}), false},
    };
    // Any one of the keys that mark an environment is enough.
    for (const char* key : {"PWD", "HOME", "PATH", "USER", "TERM", "LANG", "SHELL", "LOGNAME", "VIRTUAL_ENV"})
        shapes.push_back({key, concat({lower, {std::string(key) + "=x"}}), true});
    expect_shapes([](const Texts& l) { return parse(parse_env_output, l); }, shapes);
}

const std::string kDfHeader = "Filesystem     1K-blocks     Used Available Use% Mounted on";
const std::string kDfRow = "tmpfs              65536     1024     64512   2% /run/user/1000";

TEST(SystemOutputDetector, DfShapes) {
    expect_shapes(
        [](const Texts& l) { return parse(parse_df_output, l); },
        {
            {"eight rows", concat({{kDfHeader}, repeat(kDfRow, 8)}), true},
            {"seven rows", concat({{kDfHeader}, repeat(kDfRow, 7)}), false},
            {"a trailing blank line", concat({{kDfHeader}, repeat(kDfRow, 8), {""}}), false},
            {"a trailing note", concat({{kDfHeader}, repeat(kDfRow, 8), {"note: 2 remote mounts skipped"}}), false},
            {"a dash for the use", concat({{kDfHeader}, repeat(kDfRow, 8), {"proc 0 0 0 - /proc"}}), false},
            {"header without Mounted", concat({{"Filesystem Size Used Avail Use% On"}, repeat(kDfRow, 8)}), false},
            {"inode header", concat({{"Filesystem Inodes IUsed IFree IUse% Mounted on"}, repeat(kDfRow, 8)}), true},
            {"a plus sign is read", concat({{kDfHeader}, repeat("tmpfs 1 1 0 +2% /x", 8)}), true},
            {"a row that ends at its use column", concat({{kDfHeader}, repeat(kDfRow, 8), {"tmpfs 1 1 0 2%"}}), false},
        });
}

TEST(SystemOutputDetector, DuSizes) {
    const Texts lines = {"4.0K\t./a", "1.5M\t./b", "12\t./c", "2KiB\t./d", "1g ./e", "3TB ./f",
                         "0.5P ./g",  "7B ./h",    "8 ./i",   "9 ./j",     "10 ./k", "11 total"};
    const std::string text = joined(lines);
    const text::LineIndex index(text);
    const auto du = parse_du_output(index);
    ASSERT_TRUE(du.has_value());
    const std::vector<double> want = {
        4096, 1572864, 12, 2048, 1073741824.0, 3.0 * 1099511627776.0, 0.5 * 1125899906842624.0, 7, 8, 9, 10, 11};
    ASSERT_EQ(du->rows.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_DOUBLE_EQ(du->rows[i].size, want[i]) << lines[i];
    EXPECT_TRUE(du->rows.back().is_total);
    EXPECT_EQ(du->rows[0].path, "./a");

    // Every unit text, in any case, by its factor.
    const std::vector<std::pair<std::string, double>> units = {
        {"", 1},        {"B", 1},        {"K", 0x1p10},  {"KB", 0x1p10},  {"KI", 0x1p10},  {"KIB", 0x1p10},
        {"M", 0x1p20},  {"MB", 0x1p20},  {"MI", 0x1p20}, {"MIB", 0x1p20}, {"G", 0x1p30},   {"GB", 0x1p30},
        {"GI", 0x1p30}, {"GIB", 0x1p30}, {"T", 0x1p40},  {"TB", 0x1p40},  {"TI", 0x1p40},  {"TIB", 0x1p40},
        {"P", 0x1p50},  {"PB", 0x1p50},  {"PI", 0x1p50}, {"PIB", 0x1p50}, {"mib", 0x1p20}, {"gB", 0x1p30}};
    Texts unit_lines;
    for (const auto& [unit, factor] : units) unit_lines.push_back("3" + unit + "\t./u");
    const std::string units_text = joined(unit_lines);
    const text::LineIndex units_index(units_text);
    const auto sized = parse_du_output(units_index);
    ASSERT_TRUE(sized.has_value());
    for (std::size_t i = 0; i < units.size(); ++i)
        EXPECT_DOUBLE_EQ(sized->rows[i].size, 3 * units[i].second) << unit_lines[i];
}

TEST(SystemOutputDetector, DuShapes) {
    const Texts dirs = repeat("4.0K\t./src/x", 11);
    expect_shapes([](const Texts& l) { return parse(parse_du_output, l); },
                  {
                      {"twelve rows", concat({dirs, {"8.0K\t."}}), true},
                      {"eleven rows", dirs, false},
                      {"a size of two points", concat({dirs, {"1.2.3K\t./y"}}), false},
                      {"an unknown unit", concat({dirs, {"4X\t./y"}}), false},
                      {"a lone point", concat({dirs, {".\t./y"}}), false},
                      {"a line starting with whitespace", concat({dirs, {"  4.0K ./y"}}), false},
                      {"a blank line", concat({dirs, {""}}), false},
                      {"bare names are the majority", concat({repeat("4.0K\tsrc", 7), repeat("4.0K\t./a", 5)}), false},
                      {"bare names with a total line, half path-like",
                       concat({repeat("4.0K\tsrc", 6), repeat("4.0K\t./a", 5), {"48K\ttotal"}}), true},
                      {"plain counts before dotted names look like wc",
                       concat({repeat("12 main.c", 6), repeat("4 ./lib", 5), {"80 total"}}), false},
                      {"plain counts, dotted names exactly half of the files",
                       concat({repeat("12 main.c", 6), repeat("4 ./lib", 6), {"80 total"}}), false},
                      {"plain counts, dotted names one short of half",
                       concat({repeat("12 main.c", 5), repeat("4 ./lib", 7), {"80 total"}}), true},
                      {"plain counts before directories are du",
                       concat({repeat("12 ./src", 7), repeat("4 ./lib/a.c", 4), {"80 total"}}), true},
                  });
}

const std::string kPsHeader = "USER         PID %CPU %MEM    VSZ   RSS TTY      STAT START   TIME COMMAND";
const std::string kPsRow = "root           9  0.0  0.0   2920  1656 ?        S    20:33   0:00 sleep 60";

TEST(SystemOutputDetector, PsShapes) {
    expect_shapes(
        [](const Texts& l) { return parse(parse_ps_output, l); },
        {
            {"ps aux", concat({{kPsHeader}, repeat(kPsRow, 10)}), true},
            {"nine rows", concat({{kPsHeader}, repeat(kPsRow, 9)}), false},
            {"the default table has no %CPU or %MEM",
             concat({{"    PID TTY          TIME CMD"}, repeat("      2 pts/0    00:00:00 bash", 10)}), false},
            {"%MEM alone is enough", concat({{"  PID %MEM CMD"}, repeat("    2  1.0 bash -l", 10)}), true},
            {"no command column", concat({{"  PID %CPU"}, repeat("    2  1.0", 10)}), false},
            {"ARGS names the command column", concat({{"  PID %CPU ARGS"}, repeat("    2  1.0 bash -l", 10)}), true},
            {"a short row", concat({{kPsHeader}, repeat(kPsRow, 10), {"root 9 0.0 0.0"}}), false},
            {"a non-numeric PID", concat({{kPsHeader}, repeat(kPsRow, 10), {"root x9 0.0 0.0 1 1 ? S 20:33 0:00 a"}}),
             false},
        });
}

TEST(SystemOutputDetector, WcShapes) {
    const Texts files = {"  10 a.c", "  20 b.c", "  30 c.c", "  40 d.c", "  50 e.c", "  60 f.c", "  70 g.c"};
    expect_shapes(
        [](const Texts& l) { return parse(parse_wc_output, l); },
        {
            {"eight files and a total", concat({files, {"  80 h.c", " 360 total"}}), true},
            {"seven files and a total", concat({files, {" 280 total"}}), false},
            {"one file, no total", {"  10 a.c"}, false},
            {"no total", concat({files, {"  80 h.c", "  90 i.c"}}), false},
            {"bare names with one count", {"1 A", "2 B", "3 C", "4 D", "5 E", "6 F", "7 G", "8 H", "36 total"}, false},
            {"one count, path-like names exactly half",
             {"1 A", "2 B", "3 C", "4 D", "5 e.c", "6 f.c", "7 ./g", "8 ~/h", "36 total"},
             true},
            {"one count, path-like names one short of half",
             {"1 A", "2 B", "3 C", "4 D", "5 E", "6 f.c", "7 ./g", "8 ~/h", "36 total"},
             false},
            {"bare names with three counts",
             {"1 1 1 A", "2 2 2 B", "3 3 3 C", "4 4 4 D", "5 5 5 E", "6 6 6 F", "7 7 7 G", "8 8 8 H", "36 36 36 total"},
             true},
            {"rows with different numbers of counts", concat({files, {"  80 h.c", " 360 360 total"}}), false},
            {"a count that overflows", concat({files, {"  99999999999999999999 h.c", " 360 total"}}), false},
            {"a blank line", concat({files, {"  80 h.c", "", " 360 total"}}), false},
            {"digits after the name belong to it", concat({files, {"  80 h.c 2024", " 360 total"}}), true},
            {"a second leading number is a count", concat({files, {"  80 2024 h.c", " 360 total"}}), false},
        });
}

const std::string kPing = "PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.";
const std::string kReply = "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.064 ms";
const Texts kPingStats = {"--- 127.0.0.1 ping statistics ---",
                          "7 packets transmitted, 7 received, 0% packet loss, time 1224ms"};

TEST(SystemOutputDetector, PingShapes) {
    expect_shapes(
        [](const Texts& l) { return parse(parse_ping_output, l); },
        {
            {"ten lines, seven replies", concat({{kPing}, repeat(kReply, 7), kPingStats}), false},
            {"eleven lines, eight replies", concat({{kPing}, repeat(kReply, 8), kPingStats}), true},
            {"eleven lines, seven replies", concat({{kPing}, repeat(kReply, 7), {""}, kPingStats}), false},
            {"twelve lines, seven replies", concat({{kPing}, repeat(kReply, 7), {""}, kPingStats, {"rtt x"}}), true},
            {"cut off before the statistics", concat({{kPing}, repeat(kReply, 15)}), false},
            {"cut off after a timeout", concat({{kPing}, repeat(kReply, 8), {"Request timeout for icmp_seq 9"}}), true},
            {"lower-case ping", concat({{"ping 127.0.0.1"}, repeat(kReply, 8), kPingStats}), false},
        });
}

TEST(SystemOutputDetector, PingLineClasses) {
    const std::string text =
        joined({kPing, kReply, "Request timeout for icmp_seq 5",
                "64 bytes from 10.0.0.1: icmp_seq=6 ttl=64 time=1 ms (timeout)",
                "From 10.0.0.1 icmp_seq=7 Destination Host Unreachable", "--- 10.0.0.1 ping statistics ---",
                "9 packets transmitted, 2 received, 77% packet loss", "round-trip min/avg/max = 1/1/1 ms",
                "rtt min/avg/max/mdev = 1/1/1/0 ms", "ping: sendmsg: Network error", "", "nothing here",
                "ping: unknown host nowhere", "ping: nowhere: Name or service not known",
                "ping: nowhere: Temporary failure in name resolution", "burst 3: 100% packet loss"});
    const text::LineIndex index(text);
    const auto ping = parse_ping_output(index);
    ASSERT_TRUE(ping.has_value());
    EXPECT_EQ(ping->replies, (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(ping->events, (std::vector<std::size_t>{2, 4, 9, 12, 13, 14, 15}));
    EXPECT_EQ(ping->summaries, (std::vector<std::size_t>{5, 6, 7, 8}));
}

const Texts kUnit = {"● api.service - API", "     Loaded: loaded (/etc/systemd/system/api.service; enabled)",
                     "     Active: active (running) since Sun 2026-12-06 19:58:41 UTC; 18min ago",
                     "   Main PID: 2211 (api)"};
const Texts kJournal = repeat("Dec 06 19:58:41 h api[2211]: GET / 200", 6);

TEST(SystemOutputDetector, SystemctlShapes) {
    expect_shapes(
        [](const Texts& l) { return parse(parse_systemctl_status_output, l); },
        {
            {"unit, labels, journal", concat({kUnit, kJournal}), true},
            {"nine lines", concat({kUnit, Texts(kJournal.begin(), kJournal.begin() + 5)}), false},
            {"no Loaded line", concat({{kUnit[0], kUnit[2], kUnit[3]}, kJournal, {"x"}}), false},
            {"no Active line", concat({{kUnit[0], kUnit[1], kUnit[3]}, kJournal, {"x"}}), false},
            {"a first line without the dot or .service",
             concat({{"api - API"}, Texts(kUnit.begin() + 1, kUnit.end()), kJournal}), false},
            {"a failed unit's cross and .service",
             concat({{"× api.service - API"}, Texts(kUnit.begin() + 1, kUnit.end()), kJournal}), true},
            {"Loaded: only inside a line", concat({{kUnit[0], "x Loaded: y", kUnit[2]}, kJournal, {"z"}}), false},
        });
}

const Texts kStatBlock = {"  File: src/main.c",
                          "  Size: 1234      \tBlocks: 8          IO Block: 4096   regular file",
                          "Device: 254,0\tInode: 861         Links: 1",
                          "Access: (0644/-rw-r--r--)  Uid: (  501/   alice)   Gid: (   20/   staff)",
                          "Access: 2026-12-06 20:26:31.154396560 +0000",
                          "Modify: 2026-05-20 16:27:29.000000000 +0000",
                          "Change: 2026-05-20 16:27:29.000000000 +0000"};

TEST(SystemOutputDetector, StatShapes) {
    Texts no_modify = kStatBlock;
    no_modify.erase(no_modify.begin() + 5);
    Texts no_access = kStatBlock;
    no_access.erase(no_access.begin() + 3);
    // Size, Access and Modify alone: three blocks of four lines hold twelve.
    const Texts brief = {kStatBlock[0], kStatBlock[1], kStatBlock[3], kStatBlock[5]};
    expect_shapes([](const Texts& l) { return parse(parse_stat_blocks, l); },
                  {
                      {"three blocks", concat({kStatBlock, kStatBlock, kStatBlock}), true},
                      {"two blocks", concat({kStatBlock, kStatBlock, {"", "", ""}}), false},
                      {"text before the first block", concat({{"stat:"}, kStatBlock, kStatBlock, kStatBlock}), false},
                      {"a block without Modify", concat({kStatBlock, no_modify, kStatBlock}), false},
                      {"a block without the Access line", concat({kStatBlock, kStatBlock, no_access}), false},
                      {"a block of one line", concat({kStatBlock, kStatBlock, kStatBlock, {"  File: x"}}), false},
                      {"one line per file", repeat("src/main.c 1234 -rw-r--r--", 20), false},
                      {"three brief blocks in fifteen lines", concat({brief, brief, brief, {"", "", ""}}), true},
                      {"three brief blocks in fourteen lines", concat({brief, brief, brief, {"", ""}}), false},
                  });
}

}  // namespace
