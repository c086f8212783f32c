// The generic-log filter: a level-based application log summarised as its
// important lines in order, with markers in place of the repeated
// low-severity lines between them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"
#include "filters/generic_log/types.h"

namespace filters::generic_log::reducer {

// Lines folded since the last kept line, counted by pattern key (an index
// into the detector's GenericLog::patterns).
class PendingFolds {
public:
    struct Entry {
        std::uint32_t key;
        std::uint32_t count;
    };

    explicit PendingFolds(std::size_t keys) : counts_(keys, 0) {}

    void add(std::uint32_t key) {
        if (counts_[key]++ == 0) keys_.push_back(key);
    }
    bool empty() const { return keys_.empty(); }

    // The pending keys with their counts, in no particular order; the map is
    // empty afterwards. The list is valid until the next call.
    std::vector<Entry>& take();

    // Buffers in which the markers are written, kept from one flush to the
    // next so that a flush allocates nothing.
    std::string noun;
    std::string rest;
    std::string marker;

private:
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> keys_;
    std::vector<Entry> taken_;
};

// Appends the markers for what is pending (the three largest patterns, then
// one line for the rest) and empties the map; nothing when it is empty.
void flush_omitted(const types::GenericLog& log, SummaryWriter& output, PendingFolds& pending);

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
Attempt try_compress_generic_log_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_generic_log_output(std::string_view text);

}  // namespace filters::generic_log::reducer
