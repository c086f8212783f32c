// Line functions of the generic-log filter: level and timestamp parsing,
// the test for lines that are never folded, and the pattern under which
// repeated lines are grouped.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "filters/generic_log/types.h"
#include "text.h"

namespace filters::generic_log::summary {

using types::ParsedLogLine;

// A fixed list of lowercase ASCII words (two bytes or more), looked for
// without regard to ASCII case in one pass over a text: a bit table of the
// words' first two bytes lets most positions pass without a comparison.
template <std::size_t N>
class WordSet {
public:
    constexpr explicit WordSet(const std::array<std::string_view, N>& words) : words_(words) {
        for (std::string_view w : words_) {
            const unsigned k = pair_key(w[0], w[1]);
            starts_[k >> 6] |= std::uint64_t{1} << (k & 63);
        }
    }

    bool found_in(std::string_view s) const {
        for (std::size_t i = 0; i + 1 < s.size(); ++i) {
            const unsigned k = pair_key(text::to_lower_ascii(s[i]), text::to_lower_ascii(s[i + 1]));
            if (((starts_[k >> 6] >> (k & 63)) & 1) == 0) continue;
            for (std::string_view w : words_)
                if (text::starts_with_ignore_case(s.substr(i), w)) return true;
        }
        return false;
    }

private:
    static constexpr unsigned pair_key(char a, char b) {
        return static_cast<unsigned>(static_cast<unsigned char>(a)) << 8 | static_cast<unsigned char>(b);
    }
    std::array<std::string_view, N> words_;
    std::array<std::uint64_t, 1024> starts_{};
};

// INFO, DEBUG and TRACE: the only levels whose lines may be folded.
bool is_low_severity(std::string_view level);

// "YYYY-MM-DD?HH:MM:SS" in the first 19 bytes, "?" being a space or "T".
bool is_timestamp_core(std::string_view s);

// A level word at the start of `s` in bracket ("[warn]"), key ("level=info")
// or bare ("ERROR:") form. A bare word must be followed by ":" or "-", or,
// after a timestamp, also by whitespace or the end of the text.
std::optional<ParsedLogLine> parse_level_prefix(std::string_view s, bool after_timestamp);

// A line with an optional leading or bracketed timestamp and a level prefix.
std::optional<ParsedLogLine> parse_log_line(std::string_view line);

// A line that must stay in the summary: any level above DEBUG/INFO/TRACE,
// words of failure, links, and tokens naming a source or data file.
bool is_important_line(std::string_view line, const std::optional<ParsedLogLine>& parsed);

// The message with numbers replaced by "<num>" and whitespace collapsed,
// "<empty message>" when nothing is left, cut to 140 characters.
std::string normalized_message_pattern(const ParsedLogLine& parsed);

}  // namespace filters::generic_log::summary
