#include "filters/table/summary.h"

#include <algorithm>
#include <array>

#include "text.h"

namespace filters::table::summary {

namespace {

constexpr std::array<std::string_view, 12> kSeverityWords = {
    "warn", "fail", "error", "fatal", "errors", "failed", "warning", "failure", "warnings", "critical", "exception", "traceback",
};

constexpr std::array<std::string_view, 9> kIdMarkers = {
    "id=", "id:", "id ", "uuid=", "uuid:", "hash=", "hash:", "sha=", "sha:",
};

constexpr std::string_view kTokenTrim = "\"'(),;[]{|}";

bool is_hex(char c) { return text::is_ascii_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool all_hex(std::string_view s) { return std::all_of(s.begin(), s.end(), is_hex); }

bool has_severity_word(std::string_view row) {
    std::size_t i = 0;
    while (i < row.size()) {
        if (!text::is_ascii_alpha(row[i])) {
            ++i;
            continue;
        }
        std::size_t start = i;
        while (i < row.size() && text::is_ascii_alpha(row[i])) ++i;
        const std::string_view word = row.substr(start, i - start);
        if (std::any_of(kSeverityWords.begin(), kSeverityWords.end(), [&](std::string_view w) { return text::equals_ignore_case(word, w); }))
            return true;
    }
    return false;
}

std::string_view strip_token(std::string_view token) {
    const std::size_t first = token.find_first_not_of(kTokenTrim);
    if (first == std::string_view::npos) return {};
    const std::size_t last = token.find_last_not_of(kTokenTrim);
    return token.substr(first, last - first + 1);
}

bool is_path_like(std::string_view t) {
    if (t.starts_with("./") || t.starts_with("../") || t.starts_with("/") || t.starts_with("~/") || t.starts_with("~\\"))
        return true;
    if (t.size() >= 3 && text::is_ascii_alpha(t[0]) && t[1] == ':' && (t[2] == '/' || t[2] == '\\')) return true;
    return text::contains(t, "/") && text::contains(t, ".");
}

bool is_uuid(std::string_view t) {
    constexpr std::array<std::size_t, 5> kLengths = {8, 4, 4, 4, 12};
    std::size_t part = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dash = t.find('-', start);
        const std::string_view piece = t.substr(start, dash == std::string_view::npos ? t.npos : dash - start);
        if (part >= kLengths.size() || piece.size() != kLengths[part] || !all_hex(piece)) return false;
        ++part;
        if (dash == std::string_view::npos) break;
        start = dash + 1;
    }
    return part == kLengths.size();
}

bool is_long_hex(std::string_view t) { return t.size() >= 12 && all_hex(t); }

bool is_issue_key(std::string_view t) {
    const std::size_t dash = t.find('-');
    if (dash == std::string_view::npos) return false;
    const std::string_view project = t.substr(0, dash);
    const std::string_view number = t.substr(dash + 1);
    return project.size() >= 2 && std::all_of(project.begin(), project.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
           number.size() >= 2 && std::all_of(number.begin(), number.end(), text::is_ascii_digit);
}

// Each test over every token before the next test, as the rules rank them.
bool has_token(const std::vector<std::string_view>& tokens, bool (*test)(std::string_view)) {
    return std::any_of(tokens.begin(), tokens.end(), test);
}

}  // namespace

bool has_named_id_marker(std::string_view lowered) {
    for (std::string_view marker : kIdMarkers) {
        const std::size_t at = lowered.find(marker);
        if (at == std::string_view::npos) continue;
        std::size_t run = 0;
        for (std::size_t i = at + marker.size(); i < lowered.size(); ++i) {
            const char c = lowered[i];
            if (!text::is_ascii_alnum(c) && c != '_' && c != '-') break;
            if (++run >= 8) return true;
        }
    }
    return false;
}

bool is_interesting_row(std::string_view row) {
    if (has_severity_word(row)) return true;
    if (text::contains(row, "://")) return true;
    std::vector<std::string_view> tokens = text::split_whitespace(row);
    for (auto& token : tokens) token = strip_token(token);
    if (has_token(tokens, is_path_like) || has_token(tokens, is_uuid) || has_token(tokens, is_long_hex) ||
        has_token(tokens, is_issue_key))
        return true;
    return has_named_id_marker(text::to_lower(row));
}

}  // namespace filters::table::summary
