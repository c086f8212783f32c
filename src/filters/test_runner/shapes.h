// Small shape tests that the test-run detector and the line classifiers
// both read: the glyphs runners print, seconds figures and counts.
#pragma once

#include <cstdint>
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

// Whether `s` contains `needle`, a text that begins with a space. The search
// anchors on the rest of the needle, whose first letter is far rarer than a
// space, and then checks the space before it: the same answer as a plain
// search, without stopping at every space of the line.
inline bool contains_spaced(std::string_view s, std::string_view needle, bool ignore_case = false) {
    const std::string_view rest = needle.substr(1);
    std::size_t at = ignore_case ? text::find_ignore_case(s, rest) : s.find(rest);
    while (at != std::string_view::npos) {
        if (at > 0 && s[at - 1] == needle[0]) return true;
        at = ignore_case ? text::find_ignore_case(s, rest, at + 1) : s.find(rest, at + 1);
    }
    return false;
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
    if (!allow_plus && s.starts_with('+')) return false;
    const std::optional<std::uint64_t> n = text::parse_unsigned(s);
    return n && *n > 0;
}

// The text before the first `delimiter`, or nothing when it does not occur.
inline std::optional<std::string_view> before_first(std::string_view s, std::string_view delimiter) {
    const std::size_t at = s.find(delimiter);
    if (at == std::string_view::npos) return std::nullopt;
    return s.substr(0, at);
}

// The text before the first ")" is a digit run (a numbered entry such as
// "3) ..."); the ")" must be there.
inline bool has_numbered_paren_head(std::string_view s) {
    const std::size_t digits = text::digit_run(s);
    return digits > 0 && digits < s.size() && s[digits] == ')';
}

}  // namespace filters::test_runner::shapes
