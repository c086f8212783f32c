#include "filters/generic_log/reducer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "filters/generic_log/summary.h"
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
         cat({kStart, numbered("INFO: job", 1, 10), {"  WARN: queue at 80%  "}, numbered("INFO: job", 11, 1), {""},
              {"ERROR: job 99 crashed"}, numbered("INFO: job", 12, 10), kEnd}),
         cat({{"generic log: application summary"}, kStart,
              {"… 10 repeated INFO lines omitted: job <num>", "WARN: queue at 80%",
               "… 1 repeated INFO line omitted: job <num>", "ERROR: job 99 crashed",
               "… 10 repeated INFO lines omitted: job <num>"},
              kEnd})},
        {"the first two and last two lines are written although they repeat",
         cat({numbered("INFO: job", 1, 14), {"ERROR: disk full"}, numbered("INFO: job", 15, 2)}),
         {"generic log: application summary", "INFO: job 1", "INFO: job 2",
          "… 12 repeated INFO lines omitted: job <num>", "ERROR: disk full", "INFO: job 15", "INFO: job 16"}},
        {"three marked patterns, the rest on one line, ties by level then pattern",
         cat({kStart, numbered("INFO: cache hit", 1, 6), numbered("TRACE: poll", 1, 6), numbered("DEBUG: tick", 1, 6),
              numbered("DEBUG: gc", 1, 6), numbered("INFO: job", 1, 9), {"WARN: slow"}, kEnd}),
         cat({{"generic log: application summary"}, kStart,
              {"… 9 repeated INFO lines omitted: job <num>", "… 6 repeated DEBUG lines omitted: gc <num>",
               "… 6 repeated DEBUG lines omitted: tick <num>",
               "… 12 repeated low-severity lines omitted across 2 more patterns", "WARN: slow"},
              kEnd})},
        {"one remaining pattern still says patterns",
         cat({kStart, numbered("INFO: cache hit", 1, 6), numbered("DEBUG: tick", 1, 6), numbered("DEBUG: gc", 1, 6),
              numbered("INFO: job", 1, 9), {"WARN: slow"}, kEnd}),
         cat({{"generic log: application summary"}, kStart,
              {"… 9 repeated INFO lines omitted: job <num>", "… 6 repeated DEBUG lines omitted: gc <num>",
               "… 6 repeated DEBUG lines omitted: tick <num>",
               "… 6 repeated low-severity lines omitted across 1 more patterns", "WARN: slow"},
              kEnd})},
        {"important low-severity lines stay, equal neighbours once",
         cat({kStart, numbered("INFO: job", 1, 8), {"INFO: job 9 raised an exception", "INFO: read lib/app.rs:7"},
              numbered("INFO: job", 10, 8), {"WARN: slow", "WARN: slow"}, kEnd}),
         cat({{"generic log: application summary"}, kStart,
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
    for (std::string_view in : {"", "\n", "\n\n\n", "INFO: x"})
        EXPECT_FALSE(summarised(in)) << in;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
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
            while (next < kept.size() && kept[next] != trimmed)
                ++next;
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
