// The two line scans of the generic-log filter that are written for speed,
// each against the rule as it reads, on many generated lines.
#include "filters/generic_log/summary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text.h"

namespace {

using namespace filters::generic_log::summary;

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
        "a",  "Zq", "/",    "-",  "=",      "7",      "42",     ".",      "3.14",   " ",
        "  ", "\t", "\v",   "\r", "\u00a0", "\u3000", "\u00e9", "\u0105", "\u0085", "x1.2.3",
        "{}", "~",  "\x7f", "9",  "0",      ":",      "!",      "\x08",   "\x0e",   "\x1f",
    };
    std::mt19937 rng(99);
    std::string buffer;
    for (int round = 0; round < 20000; ++round) {
        std::string message;
        const int n = static_cast<int>(rng() % (round % 10 == 0 ? 200 : 30));
        for (int i = 0; i < n; ++i) message += pieces[rng() % pieces.size()];
        ASSERT_EQ(normalized_message_pattern(ParsedLogLine{"INFO", message}), pattern_step_by_step(message)) << message;
        write_message_pattern(message, buffer);  // a reused buffer gives the same
        ASSERT_EQ(buffer, pattern_step_by_step(message)) << message;
    }
}

// The file-token test as the rules read: every whitespace-separated token,
// stripped, lowercased and tried against every extension.
bool has_known_file_token_step_by_step(std::string_view line) {
    static const std::vector<std::string_view> extensions = {
        ".py",  ".rs",   ".ts",  ".tsx", ".js",  ".jsx", ".json", ".yaml", ".yml", ".toml", ".log",
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
        "a", "src", "/",      "\\",     ".py",    ".PY",    ".c", ".cpp",  ".tar",   ":",   "12",
        " ", "\t",  "(",      ")",      ",",      "'",      "\"", "[",     "]",      "://", "http",
        ".", "x",   "\u00a0", "\u0105", "\u3000", "\u00e9", ";",  ".json", ".jsonl",
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
