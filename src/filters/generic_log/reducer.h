#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "filters/generic_log/types.h"

namespace filters::generic_log::reducer {

// Lines folded since the last kept line, by pattern key (the detector's
// entry for the key, which outlives the map).
using PendingMap = std::unordered_map<const types::CountedPattern*, std::uint64_t>;

// The summary being written: lines joined with "\n" as they come, a line
// equal to the one right before it dropped.
class SummaryLines {
public:
    void push(std::string_view line);
    std::size_t size() const { return count_; }
    std::string take(bool final_newline);

private:
    std::string text_;
    std::size_t last_start_ = 0;
    std::size_t count_ = 0;
};

// Appends the markers for what is pending (the three largest patterns, then
// one line for the rest) and empties the map; nothing when it is empty.
void flush_omitted(SummaryLines& output, PendingMap& pending);

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
std::optional<std::string> try_compress_generic_log_output(std::string_view text);

// The filter: the shortened text, or a copy of the input.
std::string compress_generic_log_output(std::string_view text);

}  // namespace filters::generic_log::reducer
