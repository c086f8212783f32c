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
    const std::string kLongValue(48, 'a');
    std::vector<Row> rows = {
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
        // Five values at most, one at least.
        {"INFO: a=1 b=2 c=3 d=4 e=5 flushed",
         "INFO: a=<num> b=<num> c=<num> d=<num> e=<num> flushed",
         {"1", "2", "3", "4", "5"}},
        {"INFO: worker is running fine", "", {}},
        // Twelve bytes of fixed text at least ("statusnowxn="), six of them letters.
        {"status nowx n=5", "status nowx n=<num>", {"5"}},
        {"status now n=5", "", {}},
        {"racks 12345678 n=5", "racks 12345678 n=<num>", {"5"}},
        {"rack 12345678 n=5", "", {}},
        // A log prefix lets bare numbers and identifiers be replaced.
        {"INFO cache warm 42 entries", "", {}},
        {"INFO- cache warm 42 entries", "INFO- cache warm <num> entries", {"42"}},
        {"level=info cache warm 42 entries", "level=<value> cache warm <num> entries", {"info", "42"}},
        {"2024-05-01T10:00:00Z cache warm 42 entries n=1",
         "<ts> cache warm 42 entries n=<num>",
         {"2024-05-01T10:00:00Z", "1"}},
        {"2024-05-01T10:00:00Z DEBUG cache warm 42 entries",
         "<ts> DEBUG cache warm <num> entries",
         {"2024-05-01T10:00:00Z", "42"}},
        // An event line has four tokens at least, 160 bytes at most, and no final ".".
        {"synchronise batch 42", "", {}},
        {"synchronise batch 42 now", "synchronise batch <num> now", {"42"}},
        {"sync batch 42 " + std::string(146, 'x'), "sync batch <num> " + std::string(146, 'x'), {"42"}},
        {"sync batch 42 " + std::string(147, 'x'), "", {}},
        {"sync  batch 42 " + std::string(146, 'x'), "sync batch <num> " + std::string(146, 'x'), {"42"}},
        {"sync batch 42 finished.", "", {}},
        // Units of eight characters at most.
        {"INFO: cache warm took=35millisec", "INFO: cache warm took=<num>millisec", {"35"}},
        {"INFO: cache warm took=35millisecs", "INFO: cache warm took=<value>", {"35millisecs"}},
        // Values of 48 bytes at most, keys of 40.
        {"INFO: stored key=" + std::string(48, 'a'), "INFO: stored key=<value>", {std::string_view(kLongValue)}},
        {"INFO: stored key=" + std::string(49, 'a'), "", {}},
        {"INFO: cache " + std::string(40, 'k') + "=on done",
         "INFO: cache " + std::string(40, 'k') + "=<value> done",
         {"on"}},
        {"INFO: cache " + std::string(41, 'k') + "=on done", "", {}},
        // Identifiers: six bytes with "-" or "_", else twelve hexadecimal digits.
        {"INFO: cache warm ab12-c entries=12", "INFO: cache warm <id> entries=<num>", {"ab12-c", "12"}},
        {"INFO: cache warm ab1-c entries=12", "INFO: cache warm ab1-c entries=<num>", {"12"}},
        {"INFO: cache warm ab12_c entries=12", "INFO: cache warm <id> entries=<num>", {"ab12_c", "12"}},
        {"INFO: cache warm ab1_c entries=12", "INFO: cache warm ab1_c entries=<num>", {"12"}},
        {"INFO: cache warm a1b2c3d4e5f6 entries=12", "INFO: cache warm <id> entries=<num>", {"a1b2c3d4e5f6", "12"}},
        {"INFO: cache warm a1b2c3d4e5f entries=12", "INFO: cache warm a1b2c3d4e5f entries=<num>", {"12"}},
        {"INFO: cache warm g1b2c3d4e5f6 entries=12", "INFO: cache warm g1b2c3d4e5f6 entries=<num>", {"12"}},
        // A timestamp has 19 bytes at least; an address, parts below 256.
        {"INFO: tick when=2024-05-01T10:00:00", "INFO: tick when=<ts>", {"2024-05-01T10:00:00"}},
        {"INFO: tick when=2024-05-01T10:00:0", "INFO: tick when=<id>", {"2024-05-01T10:00:0"}},
        {"INFO: connected peer=10.0.0.255 via=eth0", "INFO: connected peer=<ip> via=<value>", {"10.0.0.255", "eth0"}},
        {"INFO: connected user=x1 ok", "INFO: connected user=<value> ok", {"x1"}},
    };
    // Each event word makes an event line, whose bare numbers are replaced.
    for (std::string word : {"completed", "handled", "message", "batch", "chunk", "event", "item", "iteration", "job",
                             "poll", "processed", "record", "request", "shard", "task"})
        rows.push_back({"sync " + word + " 42 finished", "sync " + word + " <num> finished", {"42"}});
    // Each identifier key word makes a value of letters an identifier.
    for (std::string key : {"id", "uuid", "hash", "sha", "trace", "span", "request", "job", "task"})
        rows.push_back({"INFO: cache " + key + "=main stored", "INFO: cache " + key + "=<id> stored", {"main"}});
    rows.push_back({"INFO: cache branch=main stored", "INFO: cache branch=<value> stored", {"main"}});
    // Each secret key word, "-" and "." read as "_", keeps the line whole.
    for (std::string key : {"password", "passwd", "secret", "token", "api_key", "apikey", "authorization", "credential",
                            "private_key", "access_key", "api-key", "Private.Key"})
        rows.push_back({"INFO: connected " + key + "=x1 ok", "", {}});
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
        // Each word that makes a line important.
        {"cache warn limit reached", true, false},
        {"cache warning issued", true, false},
        {"warned twice by peer", true, false},
        {"errors piled up", true, false},
        {"prewarn cache", false, false},
        {"retry error budget spent", true, false},
        {"a fatal signal arrived", true, false},
        {"kernel panic imminent", true, false},
        {"got exception in handler", true, false},
        {"traceback follows", true, false},
        {"dumping stack trace now", true, false},
        {"disk failure on sdb", true, false},
        {"job stopped, exit code 3", true, false},
        // Levels above INFO, DEBUG and TRACE.
        {"NOTICE: disk nearly full", true, false},
        {"CRITICAL: power lost", true, false},
        {"TRACE: tick", false, false},
        // Each key that carries a level or a verdict.
        {"level=fail", true, false},
        {"result=fail", true, false},
        {"outcome=fail", true, false},
        {"severity=fail", true, false},
        {"status=fail", false, false},
        {"result:fail", true, false},
        {"level=trace", false, false},
        {"level=debug", false, false},
        {"level=info", false, false},
        // Each file extension, lock file and path form.
        {"wrote app.py", false, true},
        {"wrote main.rs", false, true},
        {"wrote app.ts", false, true},
        {"wrote app.tsx", false, true},
        {"wrote app.js", false, true},
        {"wrote app.jsx", false, true},
        {"wrote data.json", false, true},
        {"wrote ci.yaml", false, true},
        {"wrote ci.yml", false, true},
        {"wrote pyproject.toml", false, true},
        {"wrote run.log", false, true},
        {"wrote notes.txt", false, true},
        {"wrote index.html", false, true},
        {"wrote junit.xml", false, true},
        {"wrote table.csv", false, true},
        {"wrote README.md", false, true},
        {"wrote main.c", false, true},
        {"wrote main.cpp", false, true},
        {"wrote main.go", false, true},
        {"wrote app.rb", false, true},
        {"wrote site.zip", false, true},
        {"wrote shot.png", false, true},
        {"wrote shot.gif", false, false},
        {"updated Cargo.lock", false, true},
        {"updated package-lock.json", false, true},
        {"updated yarn.lock", false, true},
        {"updated pnpm-lock.yaml", false, true},
        {"updated poetry.lock", false, true},
        {"updated go.sum", false, true},
        {"updated lock=Cargo.lock", false, true},
        {"updated deps/yarn.lock", false, true},
        {"updated deps\\go.sum", false, true},
        {"updated myCargo.lock", false, false},
        {"opened /tmp", false, true},
        {"cd ../up", false, true},
        {"cd ~/cache", false, true},
        {"saved C:\\data", false, true},
        {"mirror www.example.org", false, true},
        {"in file \"main\"", false, true},
        {"caused by: timeout", false, true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(is_important_line(r.line), r.important) << r.line;
        EXPECT_EQ(has_forbidden_fragment(r.line), r.forbidden) << r.line;
    }
}

// `count` lines "{head}{k}{tail}", k counting from `from`.
std::string numbered(int count, int from, const std::string& head, const std::string& tail = "") {
    std::string out;
    for (int k = from; k < from + count; ++k) out += head + std::to_string(k) + tail + "\n";
    return out;
}

std::string heartbeats(int count, int from = 1) { return numbered(count, from, "INFO: heartbeat sent seq="); }
std::string checkpoints(int count) { return numbered(count, 0, "INFO: checkpoint done flushed="); }
std::string noise(int count) { return numbered(count, 0, "note "); }
// Heartbeats with a "|" column.
std::string piped(int count) { return numbered(count, 1, "INFO: heartbeat sent seq=", " | ok"); }
// Compiler-style locations: a path, a line number, a message.
std::string locations(int count) { return numbered(count, 0, "src/unit_", ".c:12: note: here"); }
// Heartbeats written as one-line objects.
std::string objects(int count) { return numbered(count, 1, "{INFO: heartbeat sent seq=", "}"); }

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
        {"16 lines, 11 covered", heartbeats(11) + noise(5), ""},
        {"pipes on 55% of the lines", piped(11) + heartbeats(9), ""},
        {"path locations on 45% of the lines", heartbeats(12) + locations(10), ""},
        {"JSON objects on 70% of the lines", noise(6) + objects(14), ""},
        {"one JSON document", "{\n" + heartbeats(20) + "}\n", ""},
        {"diff headers", heartbeats(20) + "--- a/x\n+++ b/x\n", ""},
        {"unittest run that passed", heartbeats(20) + "Ran 3 tests in 0.01s\nOK\n", ""},
        {"unittest run that failed", heartbeats(20) + "Ran 3 tests in 0.01s\nFAILED (failures=1)\n", ""},
    };
    for (const Case& c : declined) EXPECT_EQ(compress_log_template_output(c.in), c.in) << c.name;
    const std::vector<Case> more_accepted = {
        {"pipes on 54.5% of the lines", piped(12) + heartbeats(10), ""},
        {"two pipe lines and a border", heartbeats(16) + "a | b\nc | d\n-----\n", ""},
        {"path locations on 44% of the lines", heartbeats(14) + locations(11), ""},
        {"JSON objects on 69.2% of the lines", noise(8) + objects(18), ""},
        {"a minus header alone", heartbeats(20) + "--- a/x\n", ""},
        {"a test count without a verdict", heartbeats(20) + "Ran 3 tests in 0.01s\n", ""},
    };
    for (const Case& c : more_accepted) EXPECT_NE(compress_log_template_output(c.in), c.in) << c.name;
}

// Each line that gives the text to another filter or says it was already
// summarised declines it, whatever the other lines hold.
TEST(LogTemplateDetector, GuardLinesDecline) {
    for (std::string line :
         {// summaries and phrases of other filters
          "generic log: application summary", "test output: pytest failure", "ci log: github-actions failure",
          "python traceback: ValueError", "Traceback (most recent call last):", "=== short test summary info ===",
          "diff --git a/x b/x", "build diagnostics: gcc failure", "package manager: npm success", "jsonl records=3",
          "=== test session starts ===", "\xE2\x80\xA6 3 lines omitted",
          // diffs, test runners and CI logs
          "Index: src/x", "@@ -1 +1 @@", "Test Files  2 passed (2)", "Tests  3 passed (3)", "FAIL src/a.test",
          "test result: ok. 3 passed", "Running 3 tests using 2 workers", "##[group]Build", "::group::Build",
          "::endgroup::", "::error::boom", "::warning::slow", "build\tTest\t2024-05-14T09:12:03Z ok",
          // builds and package managers
          "Compiling demo v0.1.0", "Checking demo v0.1.0", "Finished release profile", "could not compile demo",
          "error[E0308]: mismatched types", "warning[W01]: unused", "Downloading demo", "Downloaded demo",
          "Installing collected packages: demo", "Successfully installed demo", "added 3 packages",
          "3 packages audited", "Resolved 3 packages", "Prepared 3 packages", "Installed 3 packages",
          "npm warn deprecated demo", "npm ERR! code E404",
          // secret-like keys
          "password: abc def", "passwd: abc def", "secret: abc def", "token: abc def", "api_key: abc def",
          "apikey: abc def", "authorization: abc def", "credential: abc def", "private_key: abc def",
          "access_key: abc def"}) {
        const std::string in = heartbeats(20) + line + "\n";
        EXPECT_EQ(compress_log_template_output(in), in) << line;
    }
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
        {"event word in parentheses",
         lines([](int k) { return "worker (job) done after " + std::to_string(k) + " steps"; }), ""},
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
        {"\"=\" first in its token",
         lines(16, [](int k) { return "INFO: =/x cache warmup done " + std::to_string(k); }), ""},
        {"key of a digit first", lines(16, [](int k) { return "INFO: 9a=/x cache warmup done " + std::to_string(k); }),
         ""},
        {"key of 41 bytes",
         lines(16,
               [](int k) { return "INFO: " + std::string(41, 'k') + "=/x cache warmup done " + std::to_string(k); }),
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
    // A templated line between two others stays as it is; a line's values
    // make one group.
    auto pulses = [](int count, int from) {
        std::string out;
        for (int k = from; k < from + count; ++k)
            out += "INFO: heartbeat seq=" + std::to_string(k) + " peer=10.0.0." + std::to_string(k) + "\n";
        return out;
    };
    EXPECT_EQ(
        compress_log_template_output(pulses(8, 1) + "note between\n" + pulses(1, 9) + "note after\n" + pulses(8, 10)),
        "log templates: repeated line summary\n"
        "… 8 templated lines: INFO: heartbeat seq=<num> peer=<ip>\n"
        "  values: (1, 10.0.0.1); (2, 10.0.0.2); (3, 10.0.0.3); … 2 omitted; (6, 10.0.0.6); (7, 10.0.0.7); "
        "(8, 10.0.0.8)\n"
        "note between\n"
        "INFO: heartbeat seq=9 peer=10.0.0.9\n"
        "note after\n"
        "… 8 templated lines: INFO: heartbeat seq=<num> peer=<ip>\n"
        "  values: (10, 10.0.0.10); (11, 10.0.0.11); (12, 10.0.0.12); … 2 omitted; (15, 10.0.0.15); "
        "(16, 10.0.0.16); (17, 10.0.0.17)\n");
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
