// What the table parsers read and what they find: a run of the text's
// lines, and a recognised table sorted into header, data rows and footer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::table::model {

// Consecutive lines of the text being read, as the pipeline found them: a
// window on its line index, so that a parser given the lines from some
// start position on copies nothing.
class Lines {
public:
    explicit Lines(const text::LineIndex& index) : Lines(index, 0, index.size()) {}

    std::size_t size() const { return end_ - begin_; }
    bool empty() const { return begin_ == end_; }
    std::string_view operator[](std::size_t i) const { return (*index_)[begin_ + i]; }

    // The lines from `skip` on, and the first `n` of them (both clamped).
    Lines subspan(std::size_t skip) const { return Lines(*index_, begin_ + std::min(skip, size()), end_); }
    Lines first(std::size_t n) const { return Lines(*index_, begin_, begin_ + std::min(n, size())); }

    text::LineIndex::Iterator begin() const { return text::LineIndex::Iterator(index_, begin_); }
    text::LineIndex::Iterator end() const { return text::LineIndex::Iterator(index_, end_); }

private:
    Lines(const text::LineIndex& index, std::size_t begin, std::size_t end)
        : index_(&index), begin_(begin), end_(end) {}

    const text::LineIndex* index_;
    std::size_t begin_;
    std::size_t end_;
};

// Every line is a view into the text that was parsed, unchanged. `header`
// holds everything above the data rows (preamble, header line, borders,
// separator); `footer` what the shape keeps below them (row-count lines,
// a closing border, trailing lines).
struct StructuredTable {
    std::vector<std::string_view> header;
    std::vector<std::string_view> rows;
    std::vector<std::string_view> footer;
};

// A table is worth summarising only with more rows than this.
inline constexpr std::size_t kMaxRowsKeptWhole = 8;

inline bool has_enough_rows(const StructuredTable& t) { return t.rows.size() > kMaxRowsKeptWhole; }

// The table made of `lines`: the first `rows_begin` lines as its header, up
// to `rows_end` its rows, the rest its footer.
StructuredTable make_table(Lines lines, std::size_t rows_begin, std::size_t rows_end);

}  // namespace filters::table::model
