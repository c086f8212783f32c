#include "filters/generic_log/summary.h"

#include <array>

namespace filters::generic_log::summary {

namespace {

constexpr std::size_t kMaxPatternChars = 140;

// Words that mark a low-severity line as worth keeping; matched against the
// ASCII-lowercased line.
constexpr WordSet<14> kImportantWords({
    "exception", "traceback", "stack trace", "caused by", "panic", "segmentation fault", "failed", "failure",
    "exit code", "exited with", "status: failed", "fatal error", "http://", "https://",
});

// File extensions that make a path-like token worth keeping.
constexpr std::array<std::string_view, 22> kPathExtensions = {
    ".py",  ".rs",  ".ts",   ".tsx", ".js",  ".jsx", ".json", ".yaml", ".yml", ".toml", ".log",
    ".txt", ".html", ".xml", ".zip", ".png", ".jpg", ".jpeg", ".csv",  ".md",  ".c",    ".cpp",
};

bool is_token_trim_char(char c) {
    return c == '"' || c == '\'' || c == '(' || c == ')' || c == ',' || c == ';' || c == '[' || c == ']';
}

std::string_view strip_token_trim_set(std::string_view token) {
    while (!token.empty() && is_token_trim_char(token.front())) token.remove_prefix(1);
    while (!token.empty() && is_token_trim_char(token.back())) token.remove_suffix(1);
    return token;
}

std::size_t ascii_letter_run(std::string_view s, std::size_t from) {
    std::size_t end = from;
    while (end < s.size() && text::is_ascii_alpha(s[end])) ++end;
    return end - from;
}

// The message that follows a level token: leading whitespace and one ":" or
// "-" separator removed.
std::string_view message_after_level(std::string_view rest) {
    rest = text::trim_start(rest);
    if (!rest.empty() && (rest.front() == ':' || rest.front() == '-')) rest = text::trim_start(rest.substr(1));
    return rest;
}

std::optional<ParsedLogLine> parsed_with(std::string_view word, std::string_view rest) {
    std::optional<std::string> level = text::normalize_level(word);
    if (!level) return std::nullopt;
    return ParsedLogLine{std::move(*level), message_after_level(rest)};
}

bool is_path_token_with_known_extension(std::string_view raw_token) {
    std::string_view token = strip_token_trim_set(raw_token);
    if (text::contains(token, "://")) return false;
    if (token.find_first_of("/\\") == std::string_view::npos) return false;
    const std::string lower = text::to_lower(token);
    const std::string_view t = lower;
    for (std::string_view ext : kPathExtensions) {
        if (t.ends_with(ext)) return true;
        // "src/app.py:12": the extension followed by a line number.
        for (std::size_t pos = t.find(ext); pos != std::string_view::npos; pos = t.find(ext, pos + 1))
            if (pos + ext.size() < t.size() && t[pos + ext.size()] == ':') return true;
    }
    return false;
}

}  // namespace

bool is_low_severity(std::string_view level) { return level == "INFO" || level == "DEBUG" || level == "TRACE"; }

bool is_timestamp_core(std::string_view s) {
    if (s.size() < 19) return false;
    if (s[4] != '-' || s[7] != '-' || (s[10] != ' ' && s[10] != 'T') || s[13] != ':' || s[16] != ':') return false;
    constexpr std::array<std::size_t, 14> digits = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    for (std::size_t pos : digits)
        if (!text::is_ascii_digit(s[pos])) return false;
    return true;
}

std::optional<ParsedLogLine> parse_level_prefix(std::string_view text, bool after_timestamp) {
    std::string_view s = text::trim_start(text);
    if (s.empty()) return std::nullopt;

    // "[warn] ...": a bracket that holds no level ends the attempt.
    if (s.front() == '[') {
        std::size_t close = s.find(']', 1);
        if (close != std::string_view::npos) return parsed_with(s.substr(1, close - 1), s.substr(close + 1));
    }

    // "level=info ...": an empty word falls through to the bare form.
    if (s.size() >= 7 && text::starts_with_ignore_case(s, "level=")) {
        std::size_t len = ascii_letter_run(s, 6);
        if (len > 0) return parsed_with(s.substr(6, len), s.substr(6 + len));
    }

    // "ERROR: ...", or "ERROR ..." behind a timestamp.
    std::size_t len = ascii_letter_run(s, 0);
    if (len < 3 || len > 8) return std::nullopt;
    std::optional<std::string> level = text::normalize_level(s.substr(0, len));
    if (!level) return std::nullopt;
    std::string_view rest = s.substr(len);
    if (rest.empty()) {
        if (!after_timestamp) return std::nullopt;
    } else if (rest.front() != ':' && rest.front() != '-') {
        if (!after_timestamp) return std::nullopt;
        std::size_t char_len = 0;
        if (!text::is_whitespace(text::decode_at(rest, 0, char_len))) return std::nullopt;
    }
    return ParsedLogLine{std::move(*level), message_after_level(rest)};
}

std::optional<ParsedLogLine> parse_log_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (t.empty()) return std::nullopt;

    if (t.front() == '[') {
        std::size_t close = t.find(']', 1);
        if (close != std::string_view::npos && is_timestamp_core(t.substr(1, close - 1)))
            return parse_level_prefix(t.substr(close + 1), true);
    }

    if (t.size() >= 20 && is_timestamp_core(t)) {
        // Fractions, zones and offsets ("," ".123" "Z" "+02:00") belong to the timestamp.
        std::size_t i = 19;
        while (i < t.size() && (text::is_ascii_digit(t[i]) || t[i] == '+' || t[i] == ',' || t[i] == '-' ||
                                t[i] == '.' || t[i] == ':' || t[i] == 'Z'))
            ++i;
        if (i < t.size()) return parse_level_prefix(t.substr(i), true);
    }

    return parse_level_prefix(t, false);
}

bool is_important_line(std::string_view line, const std::optional<ParsedLogLine>& parsed) {
    if (parsed && !is_low_severity(parsed->level)) return true;
    if (kImportantWords.found_in(line)) return true;
    if (line.find_first_of("/\\") == std::string_view::npos) return false;  // no token can be a path
    for (std::string_view token : text::split_whitespace(line))
        if (is_path_token_with_known_extension(token)) return true;
    return false;
}

std::string normalized_message_pattern(const ParsedLogLine& parsed) {
    const std::string_view m = text::trim(parsed.message);
    std::string out;
    out.reserve(m.size());
    bool pending_space = false;
    std::size_t i = 0;
    while (i < m.size()) {
        const char c = m[i];
        std::size_t len = 1;
        if (text::is_ascii_digit(c)) {
            while (i < m.size() && text::is_ascii_digit(m[i])) ++i;
            // One fraction belongs to the number: "1.25" is one value, "1.2.3" two.
            if (i + 1 < m.size() && m[i] == '.' && text::is_ascii_digit(m[i + 1])) {
                ++i;
                while (i < m.size() && text::is_ascii_digit(m[i])) ++i;
            }
            if (pending_space && !out.empty()) out.push_back(' ');
            pending_space = false;
            out.append("<num>");
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x80 ? text::is_ascii_whitespace(c)
                                                  : text::is_whitespace(text::decode_at(m, i, len))) {
            pending_space = true;
            i += len;
            continue;
        }
        if (pending_space && !out.empty()) out.push_back(' ');
        pending_space = false;
        out.append(m.substr(i, len));
        i += len;
    }
    if (out.empty()) return "<empty message>";
    if (text::char_count(out) > kMaxPatternChars) {
        std::string cut(text::take_chars(out, kMaxPatternChars - 3));
        cut.append("...");
        return cut;
    }
    return out;
}

}  // namespace filters::generic_log::summary
