#include "filters/table/reducer.h"

#include <algorithm>

#include "filters/table/detector.h"
#include "filters/table/summary.h"
#include "text.h"

namespace filters::table::reducer {

namespace {

// The structured shapes need 11 lines and an aligned report 10.
constexpr std::size_t kMinLines = 10;
// Rows always kept at each end of the table.
constexpr std::size_t kEdgeRows = 3;
// Lines enough for `detector::may_hold_table`.
constexpr std::size_t kHeadLines = 24;

}  // namespace

Attempt try_compress_table_output(const FilterInput& input) {
    // Most text is no table, and its first lines tell.
    const model::Lines lines(input.lines);
    if (lines.size() < kMinLines || !detector::may_hold_table(lines.first(kHeadLines))) return std::nullopt;
    const auto table = detector::parse_structured_table(lines);
    if (!table) return std::nullopt;

    const std::vector<std::string_view>& rows = table->rows;
    const std::size_t tail_start = std::max(rows.size() - std::min(rows.size(), kEdgeRows), kEdgeRows);
    SummaryWriter out(input.text.size() / 4);
    for (std::string_view line : table->header) out.add(line);
    std::size_t next = 0;  // first row not yet written or announced
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool keep = i < kEdgeRows || i >= tail_start || summary::is_interesting_row(rows[i]);
        if (!keep) continue;
        if (i > next) out.add_omission(i - next, "table row");
        out.add(rows[i]);
        next = i + 1;
    }
    if (rows.size() > next) out.add_omission(rows.size() - next, "table row");
    for (std::string_view line : table->footer) out.add(line);
    return out.take_if_smaller(input.text, input.lines.final_newline());
}

std::string compress_table_output(std::string_view text) { return run_alone(&try_compress_table_output, text); }

}  // namespace filters::table::reducer
