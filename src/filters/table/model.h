// A recognised table: its lines sorted into header, data rows and footer.
#pragma once

#include <string_view>
#include <vector>

namespace filters::table::model {

// Every line is a view into the text that was parsed, unchanged. `header`
// holds everything above the data rows (preamble, header line, borders,
// separator); `footer` what the shape keeps below them (row-count lines,
// a closing border, trailing lines).
struct StructuredTable {
    std::vector<std::string_view> header;
    std::vector<std::string_view> rows;
    std::vector<std::string_view> footer;
};

// A table is worth summarising only with more than this many rows.
inline constexpr std::size_t kMinRowsExclusive = 8;

inline bool has_enough_rows(const StructuredTable& t) { return t.rows.size() > kMinRowsExclusive; }

}  // namespace filters::table::model
