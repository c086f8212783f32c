#include <gtest/gtest.h>

#include "filters/log_template/detector.h"
#include "filters/log_template/reducer.h"
#include "filters/log_template/template.h"
#include "support.h"

namespace {

using filters::log_template::reducer::compress_log_template_output;
using filters::log_template::templates::template_for_line;
using test_support::Case;

TEST(LogTemplateTemplates, LineTemplates) {
    struct Row {
        std::string line;
        std::string want;  // "" for no template
        std::vector<std::string_view> values;
    };
    const std::vector<Row> rows = {
        {"2024-05-01T10:00:00Z INFO worker started job=42 in 35ms",
         "<ts> INFO worker started job=<num> in <num>ms",
         {"2024-05-01T10:00:00Z", "42", "35"}},
        {"worker started job=42 in 35ms", "worker started job=<num> in 35ms", {"42"}},
        {"INFO: login ok request_id=a1b2c3d4 user=alice",
         "INFO: login ok request_id=<id> user=<value>",
         {"a1b2c3d4", "alice"}},
        {"[INFO] cache warm a1b2c3d4 entries=12", "[INFO] cache warm a1b2c3d4 entries=<num>", {"12"}},
        {"[INFO] probe peer (id=ab12-cd34), state=up",
         "[INFO] probe peer (id=<id>), state=<value>",
         {"ab12-cd34", "up"}},
        {"INFO: connected peer=10.0.0.25 port=8080", "INFO: connected peer=<ip> port=<num>", {"10.0.0.25", "8080"}},
        {"INFO: connected peer=10.0.0.256 via=eth0",
         "INFO: connected peer=<value> via=<value>",
         {"10.0.0.256", "eth0"}},
        {"INFO connect db_password=hunter2 ok", "", {}},
        {"INFO: fetch url=/api/items status=200", "", {}},
        {"ok id=7 done", "", {}},
        {"INFO: a=1 b=2 c=3 d=4 e=5 f=6 flushed", "", {}},
        {"just some words here", "", {}},
        // Fixed text is counted in bytes, two for each "à" (C3 A0).
        {"ready \xC3\xA0\xC3\xA0\xC3\xA0 n=5", "ready \xC3\xA0\xC3\xA0\xC3\xA0 n=<num>", {"5"}},
    };
    for (const Row& r : rows) {
        const auto got = template_for_line(r.line);
        ASSERT_EQ(got.has_value(), !r.want.empty()) << r.line;
        if (!got) continue;
        EXPECT_EQ(got->template_text, r.want) << r.line;
        EXPECT_EQ(got->values, r.values) << r.line;
    }
}

TEST(LogTemplateDetector, LineClasses) {
    using namespace filters::log_template::detector;
    struct Row {
        std::string line;
        bool important, forbidden;
    };
    const std::vector<Row> rows = {
        {"processing item 7 failed", true, false},
        {"INFO: queue drained", false, false},
        {"[DEBUG] tick", false, false},
        {"[WARN] retrying", true, false},
        {"2024-05-01T10:00:00Z [ALERT] disk nearly full", true, false},
        {"2024-05-01T10:00:00Z", false, false},
        {"status=done level=warn", true, false},
        {"outcome: alert", true, false},
        {"result=ok", false, false},
        {"severity=notice", true, false},
        {"wrote report.json", false, true},
        {"loaded config.yaml:12", false, true},
        {"see src/app/main", false, true},
        {"./run", false, true},
        {"a/b", false, false},
        {"GET https://example.org/x", false, true},
        {"handler at worker.run", false, true},
        {"token: abc123", false, true},
        {"ends with password:", false, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(is_important_line(r.line), r.important) << r.line;
        EXPECT_EQ(has_forbidden_fragment(r.line), r.forbidden) << r.line;
    }
}

std::string heartbeats(int count, int from = 1) {
    std::string out;
    for (int k = from; k < from + count; ++k) out += "INFO: heartbeat sent seq=" + std::to_string(k) + "\n";
    return out;
}

std::string checkpoints(int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += "INFO: checkpoint done flushed=" + std::to_string(k) + "\n";
    return out;
}

std::string noise(int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += "note " + std::to_string(k) + "\n";
    return out;
}

TEST(LogTemplateReducer, Thresholds) {
    const std::vector<Case> accepted = {
        {"16 lines, 12 covered", heartbeats(12) + noise(4), ""},
        {"34 lines, 12 covered", heartbeats(12) + noise(22), ""},
        {"two templates of 8", heartbeats(8) + noise(1) + checkpoints(8), ""},
        {"tokens split by vertical tabs",
         [] {
             std::string s;
             for (int k = 0; k < 16; ++k) s += "INFO:\vheartbeat sent to peer seq " + std::to_string(k) + "\n";
             return s;
         }(),
         ""},
    };
    for (const Case& c : accepted) EXPECT_NE(compress_log_template_output(c.in), c.in) << c.name;
    const std::vector<Case> declined = {
        {"15 nonblank lines", heartbeats(15), ""},
        {"35 lines, 12 covered", heartbeats(12) + noise(23), ""},
        {"8 and 7 lines", heartbeats(8) + noise(1) + checkpoints(7) + noise(8), ""},
        {"never adjacent",
         [] {
             std::string s;
             for (int k = 0; k < 12; ++k) s += heartbeats(1, k) + noise(1);
             return s;
         }(),
         ""},
        {"already summarised", "log templates: repeated line summary\n" + heartbeats(20), ""},
        {"mentions pytest", heartbeats(20) + "ran under pytest\n", ""},
        {"secret key", heartbeats(20) + "api_key: abc def\n", ""},
        {"a table", heartbeats(12) + "| a | b |\n|---|---|\n| 1 | 2 |\n+--+\n", ""},
        {"a table whose border has no pipe", heartbeats(16) + "a | b\nc | d\ne | f\n-----\n", ""},
    };
    for (const Case& c : declined) EXPECT_EQ(compress_log_template_output(c.in), c.in) << c.name;
}

// The quick pass before templating declines only texts the full test would
// decline: lines that it must count as maybe templated stay accepted.
TEST(LogTemplateDetector, QuickBoundsKeepAcceptedLogs) {
    auto lines = [](auto&& line) {
        std::string s;
        for (int k = 0; k < 16; ++k) s += line(k) + "\n";
        return s;
    };
    const std::vector<Case> accepted = {
        {"level in doubled brackets, three tokens",
         lines([](int k) { return "[[INFO]] cache_warmup_done " + std::to_string(k); }), ""},
        {"timestamp and level, three tokens",
         lines([](int k) { return "2024-05-01T12:00:" + std::to_string(10 + k) + ".123Z DEBUG cache_warmup_done"; }),
         ""},
        {"indented level word", lines([](int k) { return "   DEBUG: cache_warmup_done " + std::to_string(k); }), ""},
        {"lines across 64-byte blocks",
         lines([](int k) { return "[INFO] " + std::string(100, 'a') + " " + std::to_string(k); }), ""},
        {"non-ASCII blank between tokens",
         lines([](int k) { return "INFO:\u00a0cache\u00a0warmup\u00a0done " + std::to_string(k); }), ""},
        {"event word after non-ASCII blanks",
         lines([](int k) { return "sync\u00a0job\u00a0done\u00a0after " + std::to_string(k) + " steps"; }), ""},
        {"event word in parentheses", lines([](int k) { return "worker (job) done after " + std::to_string(k) + " steps"; }),
         ""},
        {"key=value before a closing bracket",
         lines([](int k) { return "cache refresh seq=" + std::to_string(k) + "] complete"; }), ""},
        {"more blank lines than others",
         lines([](int k) { return "INFO: worker job " + std::to_string(k) + " done"; }) + std::string(100, '\n'), ""},
    };
    for (const Case& c : accepted) {
        EXPECT_NE(compress_log_template_output(c.in), c.in) << c.name;
        std::string no_newline = c.in;
        no_newline.pop_back();
        EXPECT_NE(compress_log_template_output(no_newline), no_newline) << c.name;
    }
    // Three-token lines told only by the first byte of a log prefix.
    for (std::string prefix : {"DEBUG:", "trace:", "-INFO-", ":Info:", "=debug:", "]TRACE:", "[[INFO]]"}) {
        const std::string in =
            lines([&](int k) { return prefix + " cache_warmup_done " + std::to_string(k); }) + std::string(4, '\n');
        EXPECT_NE(compress_log_template_output(in), in) << prefix;
    }
    const std::vector<Case> declined = {
        {"a listing", lines([](int k) { return "./src/module_" + std::to_string(k) + "/main.cpp"; }), ""},
        {"blank lines only", std::string(100000, '\n'), ""},
        {"pipes on most lines", lines([](int k) { return "INFO: job " + std::to_string(k) + " | done"; }), ""},
    };
    for (const Case& c : declined) EXPECT_EQ(compress_log_template_output(c.in), c.in) << c.name;
}

TEST(LogTemplateDetector, BlockPassKeepsAcceptedLogs) {
    auto lines = [](int count, auto&& line) {
        std::string s;
        for (int k = 0; k < count; ++k) s += line(k) + "\n";
        return s;
    };
    const std::vector<Case> accepted = {
        {"three-letter event word ending the line",
         lines(16, [](int k) { return "worker done after " + std::to_string(k) + " steps of the job"; }), ""},
        {"upper-case event word in brackets",
         lines(16, [](int k) { return "[TASK] done after " + std::to_string(k) + " steps"; }), ""},
        {"event word across 64-byte blocks",
         lines(16, [](int k) { return std::string(60, 'x') + " chunk " + std::to_string(k) + " written"; }), ""},
        {"level word after a non-ASCII blank",
         lines(16, [](int k) { return "\u00a0DEBUG: cache warmup done " + std::to_string(k); }), ""},
        {"level word before a non-ASCII blank",
         lines(16, [](int k) { return "DEBUG:\u00a0cache warmup done " + std::to_string(k); }), ""},
        // The block pass stops early only where the lines left could not
        // reach the share: here they all qualify, after a long plain start.
        {"log lines after more than a sample of plain lines",
         lines(3000, [](int k) { return "plain words of the note number " + std::to_string(k); }) +
             lines(3000, [](int k) { return "DEBUG: cache warmup done " + std::to_string(k); }),
         ""},
        {"event word before wrapping punctuation",
         lines(16, [](int k) { return "worker handled; done after " + std::to_string(k) + " steps"; }), ""},
        // A "=" with "/" after it leaves a line untemplated only when it
        // splits a key=value token: none of these does.
        {"\"=\" after a non-ASCII key",
         lines(16, [](int k) { return "INFO: cl\u00e9=/x cache warmup done " + std::to_string(k); }), ""},
        {"\"=\" first in its token", lines(16, [](int k) { return "INFO: =/x cache warmup done " + std::to_string(k); }),
         ""},
        {"key of a digit first", lines(16, [](int k) { return "INFO: 9a=/x cache warmup done " + std::to_string(k); }),
         ""},
        {"key of 41 bytes",
         lines(16, [](int k) { return "INFO: " + std::string(41, 'k') + "=/x cache warmup done " + std::to_string(k); }),
         ""},
        {"closing bracket after a value",
         lines(16, [](int k) { return "INFO: seq=" + std::to_string(k) + "] cache warmup done"; }), ""},
    };
    for (const Case& c : accepted) EXPECT_NE(compress_log_template_output(c.in), c.in) << c.name;
    const std::vector<Case> declined = {
        {"words that begin like event words",
         lines(4000, [](int k) { return "tool pack common change " + std::to_string(k); }), ""},
        {"first tokens that begin like levels",
         lines(4000, [](int k) { return "A  services/module/index_" + std::to_string(k) + ".md"; }), ""},
        {"log lines with a path value",
         lines(4000, [](int k) { return "INFO: request path=/v1/upload took " + std::to_string(k) + "ms"; }), ""},
        {"few lines, most of them long",
         lines(12, [](int) { return std::string(100000, 'x'); }) +
             lines(6, [](int k) { return "DEBUG: cache warmup done " + std::to_string(k); }),
         ""},
    };
    for (const Case& c : declined) EXPECT_EQ(compress_log_template_output(c.in), c.in) << c.name;
}

TEST(LogTemplateReducer, RunsAndValueLists) {
    EXPECT_EQ(
        compress_log_template_output(heartbeats(7) + "\n" + heartbeats(6, 8) + "note between\n" + heartbeats(20, 20)),
        "log templates: repeated line summary\n"
        "… 7 templated lines: INFO: heartbeat sent seq=<num>\n"
        "  values: (1); (2); (3); … 1 omitted; (5); (6); (7)\n"
        "\n"
        "… 6 templated lines: INFO: heartbeat sent seq=<num>\n"
        "  values: (8); (9); (10); (11); (12); (13)\n"
        "note between\n"
        "… 20 templated lines: INFO: heartbeat sent seq=<num>\n"
        "  values: (20); (21); (22); … 14 omitted; (37); (38); (39)\n");
    // A line that repeats the one before (blank lines between or not) is
    // read as that one was: templated with its own values, or, when it is
    // important, kept as it is.
    auto repeat = [](std::string_view line, int count) {
        std::string s;
        for (int k = 0; k < count; ++k) s.append(line).append("\n");
        return s;
    };
    EXPECT_EQ(compress_log_template_output(repeat("INFO: heartbeat sent seq=5", 5) + "\n" +
                                           repeat("INFO: heartbeat sent seq=5", 3) + repeat("WARN: retry failed", 2) +
                                           repeat("INFO: heartbeat sent seq=6", 8)),
              "log templates: repeated line summary\n"
              "… 5 templated lines: INFO: heartbeat sent seq=<num>\n"
              "  values: (5); (5); (5); (5); (5)\n"
              "\n"
              "… 3 templated lines: INFO: heartbeat sent seq=<num>\n"
              "  values: (5); (5); (5)\n"
              "WARN: retry failed\n"
              "WARN: retry failed\n"
              "… 8 templated lines: INFO: heartbeat sent seq=<num>\n"
              "  values: (6); (6); (6); … 2 omitted; (6); (6); (6)\n");
    std::string no_newline = heartbeats(16);
    no_newline.pop_back();
    const std::string out = compress_log_template_output(no_newline);
    EXPECT_FALSE(out.ends_with('\n'));
}

}  // namespace
