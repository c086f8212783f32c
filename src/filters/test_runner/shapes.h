// Small shape tests shared by the test-run detector and the line classifiers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "text.h"

namespace filters::test_runner::shapes {

// Glyphs that the runners print around test titles and results.
inline constexpr std::string_view kTitleSeparator = "\xE2\x80\xBA";    // "›" between project, file and title
inline constexpr std::string_view kProjectRowMark = "] \xE2\x80\xBA";  // closes a "[project] ›" bracket
inline constexpr std::string_view kRuleChar = "\xE2\x94\x80";          // "─" of a horizontal rule
inline constexpr std::string_view kCheckMark = "\xE2\x9C\x93";         // "✓"
inline constexpr std::string_view kBallotX = "\xE2\x9C\x98";           // "✘"
inline constexpr std::string_view kTimesSign = "\xC3\x97";             // "×"
inline constexpr std::string_view kMultiplicationX = "\xE2\x9C\x95";   // "✕"
inline constexpr std::string_view kBlackCircle = "\xE2\x97\x8F";       // "●"
inline constexpr std::string_view kPointer = "\xE2\x9D\xAF";           // "❯"

inline bool starts_with_any(std::string_view s, std::initializer_list<std::string_view> prefixes) {
    if (s.empty()) return false;
    for (std::string_view p : prefixes)
        // The first byte rules out most prefixes without a call to memcmp.
        if (!p.empty() && p[0] == s[0] && s.starts_with(p)) return true;
    return false;
}

inline bool ends_with_any(std::string_view s, std::initializer_list<std::string_view> suffixes) {
    for (std::string_view p : suffixes)
        if (s.ends_with(p)) return true;
    return false;
}

inline bool contains_any(std::string_view s, std::initializer_list<std::string_view> needles) {
    for (std::string_view n : needles)
        if (text::contains(s, n)) return true;
    return false;
}

inline bool equals_any(std::string_view s, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (s == w) return true;
    return false;
}

// Whether `s` contains `needle`, a text that begins with a space. The search
// anchors on the rest of the needle, whose first letter is far rarer than a
// space, and then checks the space before it: the same answer as a plain
// search, without stopping at every space of the line.
inline bool contains_spaced(std::string_view s, std::string_view needle, bool ignore_case = false) {
    std::string_view rest = needle.substr(1);
    std::size_t at = ignore_case ? text::find_ignore_case(s, rest) : s.find(rest);
    while (at != std::string_view::npos) {
        if (at > 0 && s[at - 1] == needle[0]) return true;
        at = ignore_case ? text::find_ignore_case(s, rest, at + 1) : s.find(rest, at + 1);
    }
    return false;
}

// A non-empty run of ASCII digits.
inline bool is_digit_run(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!text::is_ascii_digit(c)) return false;
    return true;
}

// Digits and dots (possibly none) followed by "s"; at least `min_size` bytes.
inline bool is_seconds_token(std::string_view s, std::size_t min_size = 2) {
    if (s.size() < min_size || s.empty() || s.back() != 's') return false;
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
        if (!text::is_ascii_digit(s[i]) && s[i] != '.') return false;
    return true;
}

// A 64-bit count greater than zero; `allow_plus` lets one leading "+" in.
inline bool is_positive_count(std::string_view s, bool allow_plus = false) {
    if (!allow_plus && !s.empty() && s[0] == '+') return false;
    std::optional<std::uint64_t> n = text::parse_unsigned(s);
    return n && *n > 0;
}

// The token with every leading and trailing byte that is not an ASCII letter
// or digit removed (non-ASCII characters go too, byte by byte, whole).
inline std::string_view alnum_trim(std::string_view s) {
    while (!s.empty() && !text::is_ascii_alnum(s.front())) s.remove_prefix(1);
    while (!s.empty() && !text::is_ascii_alnum(s.back())) s.remove_suffix(1);
    return s;
}

// Calls `visit` with each line of a text: the text without one final "\n",
// split at every "\n"; a text that is empty or only "\n" holds no line.
// Stops early, and returns true, when `visit` returns true.
template <class Visit>
bool any_line(std::string_view text, Visit&& visit) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.empty()) return false;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) return visit(text.substr(start));
        if (visit(text.substr(start, end - start))) return true;
        start = end + 1;
    }
}

// The text before the first `delimiter`, or nothing when it does not occur.
inline std::optional<std::string_view> before_first(std::string_view s, std::string_view delimiter) {
    std::size_t at = s.find(delimiter);
    if (at == std::string_view::npos) return std::nullopt;
    return s.substr(0, at);
}

// `s` without `prefix` when it starts with it.
inline std::optional<std::string_view> after_prefix(std::string_view s, std::string_view prefix) {
    if (!s.starts_with(prefix)) return std::nullopt;
    return s.substr(prefix.size());
}

// The text before the first ")" is a digit run (a numbered entry such as
// "3) ..."); the ")" must be there.
inline bool has_numbered_paren_head(std::string_view s) {
    std::optional<std::string_view> head = before_first(s, ")");
    return head && is_digit_run(*head);
}

}  // namespace filters::test_runner::shapes
