#include "filters/table/reducer.h"

#include <algorithm>
#include <array>
#include <span>

#include "filters/filter.h"
#include "filters/table/detector.h"
#include "filters/table/summary.h"
#include "text.h"

namespace filters::table::reducer {

namespace {

// The structured shapes need 11 lines and an aligned report 10.
constexpr std::size_t kMinLines = 10;
// Rows always kept at each end of the table.
constexpr std::size_t kEdgeRows = 3;

class LineWriter {
public:
    explicit LineWriter(std::size_t reserve) { out_.reserve(reserve); }
    void add(std::string_view line) {
        if (any_) out_.push_back('\n');
        any_ = true;
        out_.append(line);
    }
    void add_all(const std::vector<std::string_view>& lines) {
        for (std::string_view line : lines) add(line);
    }
    void add_gap(std::size_t skipped) {
        if (skipped > 0) add(text::format("… {} table row{} omitted", skipped, text::plural(skipped)));
    }
    std::string finish(bool final_newline) {
        if (final_newline) out_.push_back('\n');
        return std::move(out_);
    }

private:
    std::string out_;
    bool any_ = false;
};

// Lines enough for `detector::may_hold_table`.
constexpr std::size_t kHeadLines = 24;

// The first lines of a text, at most kHeadLines of them, as
// `text::split_lines` would give them; held on the stack.
struct HeadLines {
    std::array<std::string_view, kHeadLines> lines;
    std::size_t count = 0;
    std::span<const std::string_view> view() const { return std::span(lines).first(count); }
};

HeadLines first_lines(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    HeadLines head;
    std::size_t start = 0;
    while (head.count < kHeadLines) {
        const std::size_t end = text.find('\n', start);
        head.lines[head.count++] = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return head;
}

}  // namespace

std::optional<std::string> try_compress_table_output(std::string_view input) {
    // Most text is no table, and its first lines tell: decline before
    // splitting the rest.
    const HeadLines head = first_lines(input);
    if (head.count < kMinLines || !detector::may_hold_table(head.view())) return std::nullopt;
    const text::Lines split = text::split_lines(input);
    const auto table = detector::parse_structured_table(split.lines);
    if (!table) return std::nullopt;

    const std::vector<std::string_view>& rows = table->rows;
    const std::size_t tail_start = std::max(rows.size() - std::min(rows.size(), kEdgeRows), kEdgeRows);
    LineWriter out(input.size() / 4);
    out.add_all(table->header);
    std::size_t next = 0;  // first row not yet written or announced
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool keep = i < kEdgeRows || i >= tail_start || summary::is_interesting_row(rows[i]);
        if (!keep) continue;
        out.add_gap(i - next);
        out.add(rows[i]);
        next = i + 1;
    }
    out.add_gap(rows.size() - next);
    out.add_all(table->footer);
    std::string result = out.finish(split.final_newline);
    if (!text::is_smaller_output(result, input)) return std::nullopt;
    return result;
}

std::string compress_table_output(std::string_view text) { return or_input(try_compress_table_output(text), text); }

}  // namespace filters::table::reducer
