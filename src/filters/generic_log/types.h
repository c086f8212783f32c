// Records shared by the generic-log detector, line functions and reducer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace filters::generic_log::types {

// One line that carries a level word. Neither field owns its text: `level`
// points at a constant canonical name and `message` into the line it was
// parsed from, so the record must not outlive that line.
struct ParsedLogLine {
    std::string_view level;    // canonical upper-case level ("WARNING" reads as "WARN")
    std::string_view message;  // text after the level and its separator, leading whitespace removed
};

// One pattern key (level, message pattern) and the lines counted under it.
// The pattern text is kept only once the key repeats; until then it is
// rebuilt from the first line counted under the key when it is needed.
struct PatternStats {
    std::uint64_t hash = 0;          // of the level and the pattern
    std::size_t pattern_offset = 0;  // into GenericLog::repeated_pattern_text, once repeated
    std::uint32_t first_line = 0;    // index of the first line counted under the key
    std::uint32_t count = 0;         // lines counted under the key
    std::uint32_t pattern_size = 0;  // bytes, once repeated
    std::string_view level;          // canonical level name (constant storage)
};

// A key is a repeated pattern, whose lines may be folded, from this many lines on.
inline constexpr std::uint32_t kMinRepeatsPerPattern = 3;
inline constexpr std::uint32_t kNotCounted = UINT32_MAX;

// What the detector hands to the reducer. A line is counted under its key
// when it parsed with a low-severity level and is not important; each line
// counted under a repeated key remembers it, so the reducer neither parses
// the line again nor rebuilds its pattern. The repeated patterns are the
// keys with at least three lines.
struct GenericLog {
    std::vector<PatternStats> patterns;        // every counted key
    std::vector<std::uint32_t> line_patterns;  // per input line: its repeated key in `patterns`, or kNotCounted
    std::string repeated_pattern_text;         // the patterns of the repeated keys, back to back

    // True when line `i` was counted under a key that repeats.
    bool has_repeated_pattern(std::size_t i) const { return line_patterns[i] != kNotCounted; }

    // Sets kNotCounted for the lines counted under keys that do not repeat,
    // once every line is counted. The keys' records are read in order, once,
    // rather than one line at a time across a table larger than the caches.
    void forget_unrepeated_keys() {
        std::vector<bool> repeated(patterns.size());
        for (std::size_t key = 0; key < patterns.size(); ++key)
            repeated[key] = patterns[key].count >= kMinRepeatsPerPattern;
        for (std::uint32_t& key : line_patterns)
            if (key != kNotCounted && !repeated[key]) key = kNotCounted;
    }

    // The message pattern of a repeated key.
    std::string_view pattern_of(const PatternStats& stats) const {
        return std::string_view(repeated_pattern_text).substr(stats.pattern_offset, stats.pattern_size);
    }
};

}  // namespace filters::generic_log::types
