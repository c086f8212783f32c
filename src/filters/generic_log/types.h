// Records shared by the generic-log detector, line functions and reducer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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

// Every key counted, with the number of lines counted under it.
using PatternCounts = std::unordered_map<PatternKey, std::uint64_t, PatternKeyHash>;
using CountedPattern = PatternCounts::value_type;

inline constexpr std::uint64_t kMinRepeatsPerPattern = 3;

// What the detector hands to the reducer. A line is counted under its key
// when it parsed with a low-severity level and is not important; the key's
// entry is remembered per line, so the reducer neither parses the line again
// nor rebuilds its pattern. The repeated patterns are the counted keys with
// at least three lines. The map's nodes do not move, so the per-line
// pointers stay valid while the record lives (moves included).
struct GenericLog {
    PatternCounts pattern_counts;
    std::vector<const CountedPattern*> line_patterns;  // one per input line; null when not counted

    // True when line `i` was counted under a key that repeats.
    bool has_repeated_pattern(std::size_t i) const {
        const CountedPattern* entry = line_patterns[i];
        return entry != nullptr && entry->second >= kMinRepeatsPerPattern;
    }
};

}  // namespace filters::generic_log::types
