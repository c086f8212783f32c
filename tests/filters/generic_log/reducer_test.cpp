#include "filters/generic_log/reducer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "filters/generic_log/summary.h"
#include "support.h"
#include "text.h"

namespace {

using filters::generic_log::reducer::compress_generic_log_output;

bool summarised(std::string_view text) {
    const text::LineIndex lines(text);
    return filters::generic_log::reducer::try_compress_generic_log_output(filters::FilterInput{text, lines})
        .has_value();
}

using Lines = std::vector<std::string>;

// `n` lines "<prefix> <i>" numbered from `from`.
Lines numbered(const std::string& prefix, int from, int n) {
    Lines out;
    for (int i = from; i < from + n; ++i) out.push_back(text::format("{} {}", prefix, i));
    return out;
}

Lines cat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Lines kStart = {"INFO: service up", "INFO: config loaded"};
const Lines kEnd = {"INFO: draining", "INFO: stopped"};

TEST(GenericLogReducer, Summaries) {
    struct Case {
        const char* name;
        Lines in;
        Lines want;
    };
    const Case cases[] = {
        {"markers stand where the folded lines stood",
         cat({kStart,
              numbered("INFO: job", 1, 10),
              {"  WARN: queue at 80%  "},
              numbered("INFO: job", 11, 1),
              {""},
              {"ERROR: job 99 crashed"},
              numbered("INFO: job", 12, 10),
              kEnd}),
         cat({{"generic log: application summary"},
              kStart,
              {"… 10 repeated INFO lines omitted: job <num>", "WARN: queue at 80%",
               "… 1 repeated INFO line omitted: job <num>", "ERROR: job 99 crashed",
               "… 10 repeated INFO lines omitted: job <num>"},
              kEnd})},
        {"the first two and last two lines are written although they repeat",
         cat({numbered("INFO: job", 1, 14), {"ERROR: disk full"}, numbered("INFO: job", 15, 2)}),
         {"generic log: application summary", "INFO: job 1", "INFO: job 2",
          "… 12 repeated INFO lines omitted: job <num>", "ERROR: disk full", "INFO: job 15", "INFO: job 16"}},
        {"three marked patterns, the rest on one line, ties by level then pattern",
         cat({kStart,
              numbered("INFO: cache hit", 1, 6),
              numbered("TRACE: poll", 1, 6),
              numbered("DEBUG: tick", 1, 6),
              numbered("DEBUG: gc", 1, 6),
              numbered("INFO: job", 1, 9),
              {"WARN: slow"},
              kEnd}),
         cat({{"generic log: application summary"},
              kStart,
              {"… 9 repeated INFO lines omitted: job <num>", "… 6 repeated DEBUG lines omitted: gc <num>",
               "… 6 repeated DEBUG lines omitted: tick <num>",
               "… 12 repeated low-severity lines omitted across 2 more patterns", "WARN: slow"},
              kEnd})},
        {"one remaining pattern still says patterns",
         cat({kStart,
              numbered("INFO: cache hit", 1, 6),
              numbered("DEBUG: tick", 1, 6),
              numbered("DEBUG: gc", 1, 6),
              numbered("INFO: job", 1, 9),
              {"WARN: slow"},
              kEnd}),
         cat({{"generic log: application summary"},
              kStart,
              {"… 9 repeated INFO lines omitted: job <num>", "… 6 repeated DEBUG lines omitted: gc <num>",
               "… 6 repeated DEBUG lines omitted: tick <num>",
               "… 6 repeated low-severity lines omitted across 1 more patterns", "WARN: slow"},
              kEnd})},
        {"important low-severity lines stay, equal neighbours once",
         cat({kStart,
              numbered("INFO: job", 1, 8),
              {"INFO: job 9 raised an exception", "INFO: read lib/app.rs:7"},
              numbered("INFO: job", 10, 8),
              {"WARN: slow", "WARN: slow"},
              kEnd}),
         cat({{"generic log: application summary"},
              kStart,
              {"… 8 repeated INFO lines omitted: job <num>", "INFO: job 9 raised an exception",
               "INFO: read lib/app.rs:7", "… 8 repeated INFO lines omitted: job <num>", "WARN: slow"},
              kEnd})},
    };
    for (const auto& c : cases) {
        for (bool final_newline : {true, false}) {
            const std::string in = text::join_lines(c.in, final_newline);
            EXPECT_EQ(compress_generic_log_output(in), text::join_lines(c.want, final_newline)) << c.name;
        }
    }
}

// How one line reads, seen through the summary of a log that holds it 20
// times between warnings: the marker that folds it names its level and
// pattern; a line without a level, with a level above INFO, or with an
// important word or file is not folded, and the log is left alone.
TEST(GenericLogReducer, LineGrammarThroughTheMarkers) {
    auto summarise = [](const std::string& line) {
        Lines in = {"WARN: w1", "WARN: w2"};
        for (int i = 0; i < 20; ++i) in.push_back(line);
        for (int i = 3; i <= 7; ++i) in.push_back(text::format("WARN: w{}", i));
        const std::string text = text::join_lines(in, true);
        const std::string out = compress_generic_log_output(text);
        if (out == text) return std::string();
        return std::string(text::split_lines(out).lines[3]);
    };
    const std::string e = "\xC3\xA9";  // é
    std::string e141, e137;
    for (int i = 0; i < 141; ++i) e141 += e;
    for (int i = 0; i < 137; ++i) e137 += e;
    std::string numbers;
    for (int i = 0; i < 25000; ++i) numbers += "1 a ";
    const std::pair<std::string, std::string> cases[] = {
        // Timestamps, levels and separators.
        {"2024-05-01 12:00:00 INFO worker started", "INFO:worker started"},
        {"2024-05-01T12:00:00.123Z DEBUG x", "DEBUG:x"},
        {"2024-05-01 12:00:00,123+02:00 info: low disk", "INFO:low disk"},
        {"  [2024-05-01 12:00:00] [trace] cache miss 42", "TRACE:cache miss <num>"},
        {"[2024-05-01 12:00:00.5 UTC] DEBUG:  boom", "DEBUG:boom"},
        {"2024-05-01 12:00:00 [info] x", "INFO:x"},
        {"2024-05-01 12:00:00 INFO", "INFO:<empty message>"},
        {"2024-05-01 12:00:00 DEBUG:: x", "DEBUG:: x"},
        {"2024-05-01 12:00:00 INFO\u00a0x", "INFO:x"},
        {"INFO: worker started", "INFO:worker started"},
        {"DEBUG- low", "DEBUG:low"},
        {"INFO:sync:fetched batch 1", "INFO:sync:fetched batch <num>"},
        {"level=debug msg=ready", "DEBUG:msg=ready"},
        {"LEVEL=Info: x", "INFO:x"},
        {"2024-05-01 12:00:00 WARNING low disk", ""},
        {"[2024-05-01 12:00:00] STATEMENT:  select 1", ""},
        {"2024-05-01 12:00:00 INFOx", ""},
        {"2024-05-01 12:00:00 - INFO - x", ""},
        {"2024-05-01 12:00:0 INFO x", ""},
        {"2024/05/01 12:00:00 INFO x", ""},
        {"2024-05-01_12:00:00 INFO x", ""},
        {"2024-O5-01 12:00:00 INFO x", ""},
        {"2024-05-01 12:00:00.123", ""},
        {"INFO worker started", ""},
        {"INFO - x", ""},
        {"INFO", ""},
        {"level=verbose x", ""},
        {"level=42 x", ""},
        {"[build] done", ""},
        {"[ info ] x", ""},
        {"information: x", ""},
        // Important words and files.
        {"INFO: request FAILED", ""},
        {"INFO: see https://example.org", ""},
        {"INFO: Caught Exception in worker", ""},
        {"INFO: reading ./src/main.rs:10", ""},
        {"INFO: at (lib/app.py:7),", ""},
        {"INFO: wrote C:\\data\\out.CSV", ""},
        {"INFO: loaded a/b.py:12:3", ""},
        {"INFO: opened dir/\u0105.py", ""},
        {"INFO: x\u00a0dir/a.py", ""},
        {"INFO: wrote report.csv", "INFO:wrote report.csv"},
        {"INFO: fetched file:///tmp/a.py", "INFO:fetched file:///tmp/a.py"},
        {"INFO: GET /jobs/4 HTTP/1.1", "INFO:GET /jobs/<num> HTTP/<num>"},
        {"INFO: kept dir/app.py.bak", "INFO:kept dir/app.py.bak"},
        {"INFO: kept a/b.py.bak:1", "INFO:kept a/b.py.bak:<num>"},
        {"INFO: dir/a\u00a0.py", "INFO:dir/a .py"},
        // Message patterns.
        {"INFO: 1.2.3 took 1.25s v1. x123y", "INFO:<num>.<num> took <num>s v<num>. x<num>y"},
        {"INFO: a   b\t c", "INFO:a b c"},
        {"INFO: a\u00a0\u3000b \u0105 c\u0085d", "INFO:a b \u0105 c d"},
        {"INFO: " + std::string(140, 'a'), "INFO:" + std::string(140, 'a')},
        {"INFO: " + std::string(141, 'a'), "INFO:" + std::string(137, 'a') + "..."},
        {"INFO: " + e141, "INFO:" + e137 + "..."},
        {"INFO: " + std::string(134, 'a') + " 7", "INFO:" + std::string(134, 'a') + " <num>"},
        {"INFO: " + std::string(135, 'a') + " 7", "INFO:" + std::string(135, 'a') + " <..."},
        {"INFO: " + numbers,
         "INFO:" + std::string("<num> a ") +
             "<num> a <num> a <num> a <num> a <num> a <num> a "
             "<num> a <num> a <num> a <num> a <num> a <num> a <num> a <num> a <num> a <num> a <..."},
    };
    for (const auto& [line, want] : cases) {
        std::string marker;
        if (const std::size_t colon = want.find(':'); !want.empty())
            marker = text::format("… 20 repeated {} lines omitted: {}", want.substr(0, colon), want.substr(colon + 1));
        EXPECT_EQ(summarise(line), marker) << line;
    }
}

TEST(GenericLogReducer, MarkerEqualToTheLineBeforeItAppearsOnce) {
    const Lines in = cat({kStart,
                          {"… 6 repeated INFO lines omitted: job <num>"},
                          numbered("INFO: job", 1, 6),
                          {"WARN: slow"},
                          numbered("INFO: job", 7, 6),
                          kEnd});
    const Lines want =
        cat({{"generic log: application summary"},
             kStart,
             {"… 6 repeated INFO lines omitted: job <num>", "WARN: slow", "… 6 repeated INFO lines omitted: job <num>"},
             kEnd});
    EXPECT_EQ(compress_generic_log_output(text::join_lines(in, true)), text::join_lines(want, true));
}

TEST(GenericLogReducer, LeavesInputWhenNotSmaller) {
    // Every folded line stands alone, so each becomes a marker longer than itself.
    Lines in = kStart;
    for (int i = 0; i < 6; ++i) {
        in.push_back(text::format("INFO: job {}", i));
        in.push_back(text::format("WARN: slow {}", i));
    }
    in.insert(in.end(), kEnd.begin(), kEnd.end());
    const std::string text = text::join_lines(in, true);
    EXPECT_FALSE(summarised(text));
    EXPECT_EQ(compress_generic_log_output(text), text);
}

TEST(GenericLogReducer, NoLine) {
    for (std::string_view in : {"", "\n", "\n\n\n", "INFO: x"}) EXPECT_FALSE(summarised(in)) << in;
}

std::string read_file(const std::filesystem::path& path) {
    return test_support::read_test_file(path.lexically_relative(QUORVANE_TEST_DATA).string());
}

// Logs of many line shapes, some of them with levels written in ways that
// do not parse: every line that is not a low-severity log line stays, in
// order, in every summary.
TEST(GenericLogReducer, KeepsEverySevereAndUnparsedLineOfGeneratedLogs) {
    namespace summary = filters::generic_log::summary;
    const std::vector<std::string> levels = {"INFO",  "info",  "DEBUG",    "TRACE", "INFO", "DEBUG",   "ERROR", "error",
                                             "FATAL", "Fatal", "CRITICAL", "PANIC", "WARN", "warning", "NOTICE"};
    const std::vector<std::string> messages = {
        "scheduler: job {} finished after a full batch of work",
        "cache: miss for key session-{} in region eu-west, fetching",
        "worker pool: {} threads idle, waiting for new tasks",
        "read lib/app{}.rs:7",
        "request {} failed",
    };
    std::mt19937 rng(2024);
    auto pick = [&rng](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
    int summarised = 0;
    for (int round = 0; round < 600; ++round) {
        Lines lines;
        const int n = 30 + static_cast<int>(rng() % 100);
        for (int i = 0; i < n; ++i) {
            const std::string message = text::format(pick(messages), rng() % 20);
            if (rng() % 6) {  // routine lines, which fold
                lines.push_back(text::format("2024-05-01 12:00:{} {} {}", 10 + rng() % 50, rng() % 2 ? "INFO" : "DEBUG",
                                             text::format(messages[rng() % 2], rng() % 1000)));
                continue;
            }
            const std::string level = pick(levels);
            switch (rng() % 6) {
                case 0:
                    lines.push_back(text::format("2024-05-01 12:00:{} {} {}", 10 + rng() % 50, level, message));
                    break;
                case 1:
                    lines.push_back(text::format("[2024-05-01T12:00:00.{}Z] [{}] {}", rng() % 999, level, message));
                    break;
                case 2:
                    lines.push_back(text::format("level={} msg=\"{}\"", level, message));
                    break;
                case 3:
                    lines.push_back(text::format("{} {}", level, message));
                    break;  // no separator: no level
                case 4:
                    lines.push_back(rng() % 2 ? "" : "\tat com.example.Job.run(Job.java:42)");
                    break;
                default:
                    lines.push_back(text::format("  {}: {}  ", level, message));
                    break;
            }
        }
        const std::string in = text::join_lines(lines, rng() % 2 == 0);
        const std::string out = compress_generic_log_output(in);
        if (out == in) continue;
        ++summarised;
        const std::vector<std::string_view> kept = text::split_lines(out).lines;
        std::size_t next = 0;
        for (std::string_view line : lines) {
            const std::string_view trimmed = text::trim(line);
            auto parsed = summary::parse_log_line(line);
            if (trimmed.empty() || (parsed && summary::is_low_severity(parsed->level))) continue;
            while (next < kept.size() && kept[next] != trimmed) ++next;
            ASSERT_LT(next, kept.size()) << "lost " << line << " from\n" << in;
        }
    }
    EXPECT_GE(summarised, 500);
}

// No line of a level above INFO may go missing from a summary of the real logs.
TEST(GenericLogReducer, KeepsEverySevereLineOfTheCaseLogs) {
    namespace fs = std::filesystem;
    namespace summary = filters::generic_log::summary;
    int logs = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(QUORVANE_TEST_DATA) / "cases" / "generic_log")) {
        if (entry.path().extension() != ".in") continue;
        ++logs;
        const std::string in = text::normalize_and_trim_trailing_whitespace(read_file(entry.path()));
        const std::string out = compress_generic_log_output(in);
        const std::vector<std::string_view> kept = text::split_lines(out).lines;
        std::size_t next = 0;  // kept in input order
        for (std::string_view line : text::split_lines(in).lines) {
            auto parsed = summary::parse_log_line(line);
            if (!parsed || summary::is_low_severity(parsed->level)) continue;
            while (next < kept.size() && kept[next] != text::trim(line)) ++next;
            ASSERT_LT(next, kept.size()) << entry.path() << ": lost " << line;
        }
    }
    EXPECT_GE(logs, 5);
}

}  // namespace
