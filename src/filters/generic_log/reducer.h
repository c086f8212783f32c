#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

private:
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> keys_;
    std::vector<Entry> taken_;
};

// The summary being written: lines joined with "\n" as they come, a line
// equal to the one right before it dropped.
class SummaryLines {
public:
    explicit SummaryLines(std::size_t capacity) { text_.reserve(capacity); }

    void push(std::string_view line);
    // A line written in pieces into the returned buffer, then ended.
    std::string& begin_line();
    void end_line();

    std::size_t size() const { return count_; }
    std::size_t bytes() const { return text_.size(); }
    std::string take(bool final_newline);

private:
    std::string_view last_line(std::size_t end) const {
        return std::string_view(text_).substr(last_start_, end - last_start_);
    }

    std::string text_;
    std::size_t last_start_ = 0;  // where the last line kept starts
    std::size_t open_at_ = 0;     // the size of the text when begin_line() was called
    std::size_t count_ = 0;
};

// Appends the markers for what is pending (the three largest patterns, then
// one line for the rest) and empties the map; nothing when it is empty.
void flush_omitted(const types::GenericLog& log, SummaryLines& output, PendingFolds& pending);

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
std::optional<std::string> try_compress_generic_log_output(std::string_view text);

// The filter: the shortened text, or a copy of the input.
std::string compress_generic_log_output(std::string_view text);

}  // namespace filters::generic_log::reducer
