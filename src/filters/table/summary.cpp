#include "filters/table/summary.h"

#include <algorithm>
#include <array>

#include "text.h"

namespace filters::table::summary {

namespace {

constexpr std::array<std::string_view, 9> kIdMarkers = {
    "id=", "id:", "id ", "uuid=", "uuid:", "hash=", "hash:", "sha=", "sha:",
};

constexpr std::string_view kTokenTrim = "\"'(),;[]{|}";

// Any id marker, ASCII case ignored: one pass rules out most rows before
// each marker's first occurrence is looked at.
constexpr auto kIdMarkerSet = text::WordSet<kIdMarkers.size()>::of(kIdMarkers);

// An id marker's value has at least this many of A-Z, a-z, 0-9, "_", "-".
constexpr std::size_t kMinIdValueChars = 8;
// A commit hash has at least this many hexadecimal digits.
constexpr std::size_t kMinHashDigits = 12;
// An issue key has at least this many capitals before its "-" and digits
// after it ("OPS-1234").
constexpr std::size_t kMinIssueKeyPart = 2;

bool all_hex(std::string_view s) { return std::all_of(s.begin(), s.end(), text::is_ascii_hex_digit); }

std::string_view strip_token(std::string_view token) { return text::trim_chars(token, kTokenTrim); }

bool is_path_like(std::string_view t) {
    if (t.starts_with("./") || t.starts_with("../") || t.starts_with("/") || t.starts_with("~/") ||
        t.starts_with("~\\"))
        return true;
    if (t.size() >= 3 && text::is_ascii_alpha(t[0]) && t[1] == ':' && (t[2] == '/' || t[2] == '\\')) return true;
    // Tokens are short: one loop beats two library searches.
    bool slash = false;
    bool dot = false;
    for (char c : t) {
        slash = slash || c == '/';
        dot = dot || c == '.';
    }
    return slash && dot;
}

bool is_uuid(std::string_view t) {
    if (t.size() != 36) return false;
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

bool is_long_hex(std::string_view t) { return t.size() >= kMinHashDigits && all_hex(t); }

bool is_issue_key(std::string_view t) {
    if (t.size() < 2 * kMinIssueKeyPart + 1 || t[0] < 'A' || t[0] > 'Z') return false;
    const std::size_t dash = t.find('-');
    if (dash == std::string_view::npos) return false;
    const std::string_view project = t.substr(0, dash);
    const std::string_view number = t.substr(dash + 1);
    return project.size() >= kMinIssueKeyPart &&
           std::all_of(project.begin(), project.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
           number.size() >= kMinIssueKeyPart && text::is_ascii_digits(number);
}

bool is_path_like_uuid_hash_or_key(std::string_view token) {
    const std::string_view t = strip_token(token);
    return !t.empty() && (is_path_like(t) || is_uuid(t) || is_long_hex(t) || is_issue_key(t));
}

}  // namespace

bool has_named_id_marker(std::string_view lowered) {
    if (!kIdMarkerSet.found_in(lowered)) return false;
    for (std::string_view marker : kIdMarkers) {
        const std::size_t at = text::find_ignore_case(lowered, marker);
        if (at == std::string_view::npos) continue;
        const std::string_view value = lowered.substr(at + marker.size());
        std::size_t run = 0;
        while (run < value.size() && run < kMinIdValueChars &&
               (text::is_ascii_alnum(value[run]) || value[run] == '_' || value[run] == '-'))
            ++run;
        if (run >= kMinIdValueChars) return true;
    }
    return false;
}

bool is_interesting_row(std::string_view row) {
    return text::has_severity_word(row) || text::contains(row, "://") ||
           text::any_word(row, is_path_like_uuid_hash_or_key) || has_named_id_marker(row);
}

}  // namespace filters::table::summary
