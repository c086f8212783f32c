// Records shared by the generic-log detector, line functions and reducer.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace filters::generic_log::types {

// One line that carries a level word. `message` borrows from the line it was
// parsed from, so a parsed log costs no copy of its text; the parsed record
// must not outlive that text.
struct ParsedLogLine {
    std::string level;         // canonical upper-case level ("WARNING" reads as "WARN")
    std::string_view message;  // text after the level and its separator, leading whitespace removed
};

// The key under which repeated low-severity lines are grouped.
struct PatternKey {
    std::string level;
    std::string pattern;
    bool operator==(const PatternKey&) const = default;
};

struct PatternKeyHash {
    std::size_t operator()(const PatternKey& key) const noexcept {
        std::size_t h = std::hash<std::string>{}(key.pattern);
        return h ^ (std::hash<std::string>{}(key.level) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
    }
};

using PatternSet = std::unordered_set<PatternKey, PatternKeyHash>;

// What the detector hands to the reducer: one optional parse per input line
// (same order and number; blank and level-less lines hold none) and the keys
// whose lines repeat often enough to be folded.
struct GenericLog {
    std::vector<std::optional<ParsedLogLine>> parsed_lines;
    PatternSet repeated_patterns;
};

}  // namespace filters::generic_log::types
