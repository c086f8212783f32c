// Allocation-free scanning pieces shared by the build-diagnostics classifiers:
// they run dozens of times on every line of inputs that reach hundreds of MB.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "text.h"

namespace filters::build_compiler::summary {

// Length of the run of ASCII digits starting at `from`.
inline std::size_t digit_run(std::string_view s, std::size_t from) {
    std::size_t i = from;
    while (i < s.size() && text::is_ascii_digit(s[i])) ++i;
    return i - from;
}

// Byte length of the Unicode whitespace character at `pos`, or 0 (also past
// the end).
inline std::size_t whitespace_len_at(std::string_view s, std::size_t pos) {
    return pos < s.size() ? text::whitespace_length_at(s, pos) : 0;
}

inline bool has_whitespace(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); i += text::utf8_len(static_cast<unsigned char>(s[i])))
        if (whitespace_len_at(s, i)) return true;
    return false;
}

// The word without its leading and trailing characters that are not ASCII
// letters or digits.
inline std::string_view strip_non_alnum(std::string_view w) {
    while (!w.empty() && !text::is_ascii_alnum(w.front())) w.remove_prefix(1);
    while (!w.empty() && !text::is_ascii_alnum(w.back())) w.remove_suffix(1);
    return w;
}

// The pieces between runs of Unicode whitespace, one at a time.
class WordCursor {
public:
    explicit WordCursor(std::string_view s) : s_(s) {}
    std::optional<std::string_view> next() {
        while (pos_ < s_.size()) {
            std::size_t w = whitespace_len_at(s_, pos_);
            if (!w) break;
            pos_ += w;
        }
        if (pos_ >= s_.size()) return std::nullopt;
        std::size_t start = pos_;
        while (pos_ < s_.size() && !whitespace_len_at(s_, pos_))
            pos_ += text::utf8_len(static_cast<unsigned char>(s_[pos_]));
        if (pos_ > s_.size()) pos_ = s_.size();
        return s_.substr(start, pos_ - start);
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

inline bool has(std::string_view s, std::string_view needle) { return s.find(needle) != std::string_view::npos; }

inline bool contains_any(std::string_view s, std::initializer_list<std::string_view> needles) {
    for (auto n : needles)
        if (s.find(n) != std::string_view::npos) return true;
    return false;
}

// Prefix and suffix tests that look at one byte before comparing the rest:
// most tests fail on it, and a library compare per candidate adds up over
// dozens of tests per line.
inline bool starts_with_quick(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && (prefix.empty() || s[0] == prefix[0]) && s.starts_with(prefix);
}

inline bool ends_with_quick(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && (suffix.empty() || s.back() == suffix.back()) && s.ends_with(suffix);
}

inline bool starts_with_any(std::string_view s, std::initializer_list<std::string_view> prefixes) {
    for (auto p : prefixes)
        if (starts_with_quick(s, p)) return true;
    return false;
}

inline bool starts_with_any_ignore_case(std::string_view s, std::initializer_list<std::string_view> prefixes) {
    for (auto p : prefixes)
        if (text::starts_with_ignore_case(s, p)) return true;
    return false;
}

inline bool equals_any(std::string_view s, std::initializer_list<std::string_view> words) {
    for (auto w : words)
        if (s == w) return true;
    return false;
}

}  // namespace filters::build_compiler::summary
