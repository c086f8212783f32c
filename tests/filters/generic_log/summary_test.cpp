#include "filters/generic_log/summary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text.h"

namespace {

using namespace filters::generic_log::summary;

TEST(GenericLogSummary, TimestampCore) {
    const std::pair<std::string, bool> cases[] = {
        {"2024-05-01 12:00:00", true},
        {"2024-05-01T12:00:00.123Z", true},  // only the first 19 bytes count
        {"2024-05-01 12:00:0", false},
        {"2024/05/01 12:00:00", false},
        {"2024-05-01_12:00:00", false},
        {"2024-05-01 12-00-00", false},
        {"2024-O5-01 12:00:00", false},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(is_timestamp_core(in), want) << in;
}

TEST(GenericLogSummary, ParseLogLine) {
    struct Case {
        std::string line;
        std::optional<std::pair<std::string, std::string>> want;  // level, message
    };
    const Case cases[] = {
        {"2024-05-01 12:00:00 INFO worker started", {{"INFO", "worker started"}}},
        {"2024-05-01T12:00:00.123Z INFO x", {{"INFO", "x"}}},
        {"2024-05-01 12:00:00,123+02:00 warning: low disk", {{"WARN", "low disk"}}},
        {"  [2024-05-01 12:00:00] [warning] cache miss 42", {{"WARN", "cache miss 42"}}},
        {"[2024-05-01 12:00:00.5 UTC] ERROR:  boom", {{"ERROR", "boom"}}},
        {"[2024-05-01 12:00:00] STATEMENT:  select 1", std::nullopt},
        {"2024-05-01 12:00:00 [error] x", {{"ERROR", "x"}}},
        {"2024-05-01 12:00:00 INFO", {{"INFO", ""}}},  // a word may end the line after a timestamp
        {"2024-05-01 12:00:00 ERROR:: x", {{"ERROR", ": x"}}},
        {"2024-05-01 12:00:00 INFO\u00a0x", {{"INFO", "x"}}},
        {"2024-05-01 12:00:00 INFOx", std::nullopt},
        {"2024-05-01 12:00:00 - INFO - x", std::nullopt},
        {"2024-05-01 12:00:00.123", std::nullopt},  // the timestamp runs to the end
        {"INFO worker started", std::nullopt},      // no timestamp: a separator is required
        {"INFO - x", std::nullopt},
        {"INFO", std::nullopt},
        {"INFO: worker started", {{"INFO", "worker started"}}},
        {"WARN- low", {{"WARN", "low"}}},
        {"FATAL:x", {{"FATAL", "x"}}},
        {"INFO:sync:fetched batch 1", {{"INFO", "sync:fetched batch 1"}}},
        {"level=debug msg=ready", {{"DEBUG", "msg=ready"}}},
        {"LEVEL=Info: x", {{"INFO", "x"}}},
        {"level=verbose x", std::nullopt},
        {"level=42 x", std::nullopt},  // no letters: the bare word "level" is no level
        {"[build] done", std::nullopt},
        {"[ info ] x", std::nullopt},
        {"information: x", std::nullopt},
        {"[2024/05/01 12:00:00] INFO x", std::nullopt},
        {"   ", std::nullopt},
    };
    for (const auto& c : cases) {
        auto got = parse_log_line(c.line);
        ASSERT_EQ(got.has_value(), c.want.has_value()) << c.line;
        if (!got) continue;
        EXPECT_EQ(got->level, c.want->first) << c.line;
        EXPECT_EQ(got->message, c.want->second) << c.line;
    }
}

TEST(GenericLogSummary, ImportantLines) {
    const ParsedLogLine info{"INFO", "x"};
    const std::pair<std::string, bool> cases[] = {
        {"INFO: job 7 done", false},
        {"INFO: request FAILED", true},
        {"INFO: see https://example.org", true},
        {"INFO: Caught Exception in worker", true},
        {"INFO: reading ./src/main.rs:10", true},
        {"INFO: at (lib/app.py:7),", true},
        {"INFO: wrote C:\\data\\out.CSV", true},
        {"INFO: loaded config/app.yaml", true},
        {"INFO: wrote report.csv", false},           // no directory part
        {"INFO: fetched file:///tmp/a.py", false},   // a URL, not a path
        {"INFO: GET /jobs/4 HTTP/1.1", false},
        {"INFO: kept dir/archive.tar", false},
        {"INFO: kept dir/app.py.bak", false},
        {"INFO: loaded a/b.py:12:3", true},
        {"INFO: kept a/b.py.bak:1", false},  // the extension must stand right before the colon
        {"INFO: kept a/b.pyc:1", false},
        {"INFO: opened dir/\u0105.py", true},  // "ą" ends in a byte that is no blank
        {"INFO: x\u00a0dir/a.py", true},       // a no-break space separates tokens
        {"INFO: dir/a\u00a0.py", false},
    };
    for (const auto& [line, want] : cases) EXPECT_EQ(is_important_line(line, info), want) << line;
    EXPECT_TRUE(is_important_line("WARN: x", ParsedLogLine{"WARN", "x"}));
    EXPECT_FALSE(is_important_line("DEBUG: x", ParsedLogLine{"DEBUG", "x"}));
}

std::string repeated(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(GenericLogSummary, MessagePattern) {
    const std::string e_acute = "\xC3\xA9";
    std::string long_ascii(141, 'a'), long_utf8, cut_utf8;
    for (int i = 0; i < 141; ++i) long_utf8 += e_acute;
    for (int i = 0; i < 137; ++i) cut_utf8 += e_acute;
    const std::pair<std::string, std::string> cases[] = {
        {"cache miss 42", "cache miss <num>"},
        {"1.2.3", "<num>.<num>"},
        {"took 1.25s", "took <num>s"},
        {"v1.", "v<num>."},
        {"x123y", "x<num>y"},
        {"  a   b\t c  ", "a b c"},
        {"a\u00a0\u3000b", "a b"},
        {"", "<empty message>"},
        {"   ", "<empty message>"},
        {std::string(140, 'a'), std::string(140, 'a')},
        {long_ascii, std::string(137, 'a') + "..."},
        {long_utf8, cut_utf8 + "..."},
        {std::string(70, '7') + " " + std::string(200, 'b'), "<num> " + std::string(131, 'b') + "..."},
        {"a \u0105 b", "a \u0105 b"},
        {"a\u0085b", "a b"},
        {std::string(139, 'a') + e_acute + e_acute, std::string(137, 'a') + "..."},
        {e_acute + std::string(140, 'a'), e_acute + std::string(136, 'a') + "..."},
        {std::string(134, 'a') + " 7", std::string(134, 'a') + " <num>"},        // 140 characters
        {std::string(135, 'a') + " 7", std::string(135, 'a') + " <" + "..."},    // 141: the cut splits "<num>"
        {std::string(140, 'a') + "   \t ", std::string(140, 'a')},             // trailing blanks are no characters
        {std::string(140, 'a') + "  b", std::string(137, 'a') + "..."},
        {repeated("1 a ", 250000), repeated("<num> a ", 17) + "<..."},          // a line of a megabyte
    };
    for (const auto& [message, want] : cases)
        EXPECT_EQ(normalized_message_pattern(ParsedLogLine{"INFO", message}), want) << message;
}

// The pattern as the rules read, step by step: numbers first, then the
// blanks, then the cut.
std::string pattern_step_by_step(std::string_view message) {
    const std::string_view m = text::trim(message);
    std::string numbered;
    for (std::size_t i = 0; i < m.size();) {
        if (!text::is_ascii_digit(m[i])) {
            numbered += m[i++];
            continue;
        }
        while (i < m.size() && text::is_ascii_digit(m[i])) ++i;
        if (i + 1 < m.size() && m[i] == '.' && text::is_ascii_digit(m[i + 1]))
            for (++i; i < m.size() && text::is_ascii_digit(m[i]);) ++i;
        numbered += "<num>";
    }
    std::string out = text::join(text::split_whitespace(numbered), " ");
    if (out.empty()) return "<empty message>";
    if (text::char_count(out) > 140) return std::string(text::take_chars(out, 137)) + "...";
    return out;
}

// Messages made of the pieces that change a pattern, at every offset and
// length, so that each byte class meets every position of an eight-byte step.
TEST(GenericLogSummary, MessagePatternAgreesWithTheRulesStepByStep) {
    const std::vector<std::string> pieces = {
        "a", "Zq", "/", "-", "=", "7", "42", ".", "3.14", " ", "  ", "\t", "\v", "\r", "\u00a0", "\u3000",
        "\u00e9", "\u0105", "\u0085", "x1.2.3", "{}", "~", "\x7f", "9", "0", ":", "!", "\x08", "\x0e", "\x1f",
    };
    std::mt19937 rng(99);
    std::string buffer;
    for (int round = 0; round < 20000; ++round) {
        std::string message;
        const int n = static_cast<int>(rng() % (round % 10 == 0 ? 200 : 30));
        for (int i = 0; i < n; ++i) message += pieces[rng() % pieces.size()];
        ASSERT_EQ(normalized_message_pattern(ParsedLogLine{"INFO", message}), pattern_step_by_step(message))
            << message;
        write_message_pattern(message, buffer);  // a reused buffer gives the same
        ASSERT_EQ(buffer, pattern_step_by_step(message)) << message;
    }
}

// The file-token test as the rules read: every whitespace-separated token,
// stripped, lowercased and tried against every extension.
bool has_known_file_token_step_by_step(std::string_view line) {
    static const std::vector<std::string_view> extensions = {
        ".py",  ".rs",  ".ts",   ".tsx", ".js",  ".jsx", ".json", ".yaml", ".yml", ".toml", ".log",
        ".txt", ".html", ".xml", ".zip", ".png", ".jpg", ".jpeg", ".csv",  ".md",  ".c",    ".cpp",
    };
    const std::string_view trim_set = "\"'(),;[]";
    for (std::string_view token : text::split_whitespace(line)) {
        while (!token.empty() && trim_set.find(token.front()) != std::string_view::npos) token.remove_prefix(1);
        while (!token.empty() && trim_set.find(token.back()) != std::string_view::npos) token.remove_suffix(1);
        if (text::contains(token, "://") || token.find_first_of("/\\") == std::string_view::npos) continue;
        const std::string lower = text::to_lower(token);
        for (std::string_view ext : extensions) {
            if (std::string_view(lower).ends_with(ext)) return true;
            if (lower.find(std::string(ext) + ":") != std::string::npos) return true;
        }
    }
    return false;
}

TEST(GenericLogSummary, FileTokensAgreeWithTheRulesStepByStep) {
    const std::vector<std::string> pieces = {
        "a",  "src", "/",  "\\", ".py", ".PY", ".c", ".cpp", ".tar", ":",  "12", " ",      "\t",
        "(",  ")",   ",",  "'",  "\"",  "[",   "]",  "://",  "http", ".",  "x", "\u00a0", "\u0105",
        "\u3000", "\u00e9", ";", ".json", ".jsonl",
    };
    std::mt19937 rng(4242);
    for (int round = 0; round < 50000; ++round) {
        std::string line;
        const int n = static_cast<int>(rng() % 14);
        for (int i = 0; i < n; ++i) line += pieces[rng() % pieces.size()];
        ASSERT_EQ(has_known_file_token(line), has_known_file_token_step_by_step(line)) << line;
    }
}

}  // namespace
