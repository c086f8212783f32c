#include "filters/table/whitespace.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "filters/table/classifiers.h"
#include "text.h"

namespace filters::table::whitespace {

using namespace classifiers;

namespace {

constexpr std::size_t kHeaderPositions = 10;
constexpr std::size_t kMinRows = 9;
// A report needs this many lines at the least.
constexpr std::size_t kMinLines = 10;

struct HeaderCandidate {
    std::size_t header;
    std::size_t cells;
    bool separator;
    std::size_t row_start;
};

struct Report {
    std::size_t header;
    std::size_t row_start;
    std::size_t row_end;
};

// The cell count found on most rows, the earliest-seen one on a tie, and
// how many rows have it.
std::pair<std::size_t, std::size_t> modal_cell_count(std::span<const std::uint32_t> row_cells) {
    struct Tally {
        std::size_t count = 0;
        std::size_t first = 0;
    };
    std::unordered_map<std::uint32_t, Tally> tallies;
    for (std::size_t i = 0; i < row_cells.size(); ++i) {
        auto [it, fresh] = tallies.try_emplace(row_cells[i]);
        if (fresh) it->second.first = i;
        ++it->second.count;
    }
    std::uint32_t best = 0;
    Tally best_tally;
    for (const auto& [cells, tally] : tallies) {
        if (tally.count > best_tally.count || (tally.count == best_tally.count && tally.first < best_tally.first)) {
            best = cells;
            best_tally = tally;
        }
    }
    return {best, best_tally.count};
}

// The header at line h (h below the line count), if it can be one.
std::optional<HeaderCandidate> header_at(model::Lines lines, std::size_t h) {
    const std::string_view line = lines[h];
    if (text::trim(line).empty() || !may_be_header_line(line) || is_decorative_divider(line)) return std::nullopt;
    if (!preamble_is_safe(lines.first(h))) return std::nullopt;
    const auto cells = split_columns(line);
    if (cells.size() < 2 || !std::all_of(cells.begin(), cells.end(), is_header_cell)) return std::nullopt;
    const bool has_letter = std::any_of(cells.begin(), cells.end(), [](std::string_view c) {
        return std::any_of(c.begin(), c.end(), text::is_ascii_alpha);
    });
    if (!has_letter) return std::nullopt;
    const bool separator = h + 1 < lines.size() && is_column_separator(lines[h + 1], cells.size());
    return HeaderCandidate{h, cells.size(), separator, h + (separator ? 2 : 1)};
}

}  // namespace

bool may_hold_report(model::Lines first_lines) {
    for (std::size_t h = 0; h < std::min(kHeaderPositions, first_lines.size()); ++h) {
        const std::optional<HeaderCandidate> head = header_at(first_lines, h);
        if (!head) continue;
        std::size_t end = head->row_start;
        while (end < first_lines.size() && end - head->row_start < kMinRows &&
               is_whitespace_table_row(first_lines[end]))
            ++end;
        if (end == first_lines.size() || end - head->row_start >= kMinRows) return true;
    }
    return false;
}

std::optional<model::StructuredTable> parse_whitespace_report(model::Lines lines) {
    const std::size_t n = lines.size();
    if (n < kMinLines) return std::nullopt;

    std::vector<HeaderCandidate> heads;
    for (std::size_t h = 0; h < kHeaderPositions; ++h)
        if (auto head = header_at(lines, h)) heads.push_back(*head);
    if (heads.empty()) return std::nullopt;

    // Every candidate's rows start within the first dozen lines and run to
    // the first line that is no row, so one scan serves them all. It counts
    // cells only; the other facts of the rows are asked for only by a
    // candidate whose cell counts agree, which is rare.
    const std::size_t first_start = heads.front().row_start;
    const std::size_t last_start = heads.back().row_start;
    std::vector<std::uint32_t> cells;  // 0: no row
    for (std::size_t i = first_start; i < n; ++i) {
        const std::size_t row_cells = whitespace_row_cells(lines[i]);
        cells.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(row_cells, UINT32_MAX)));
        if (row_cells == 0 && i >= last_start) break;
    }
    std::vector<RowFacts> facts;
    auto facts_of = [&](std::size_t start, std::size_t rows) {
        if (facts.empty()) {
            facts.reserve(cells.size());
            for (std::size_t i = 0; i < cells.size(); ++i)
                facts.push_back(cells[i] == 0 ? RowFacts{}
                                              : whitespace_row_facts(lines[first_start + i]).value_or(RowFacts{}));
        }
        return std::span<const RowFacts>(facts.data() + (start - first_start), rows);
    };
    auto run_end = [&](std::size_t start) {
        std::size_t i = start;
        while (i - first_start < cells.size() && cells[i - first_start] != 0) ++i;
        return i;
    };

    std::optional<Report> best;
    for (const HeaderCandidate& head : heads) {
        const std::size_t end = run_end(head.row_start);
        const std::size_t rows = end - head.row_start;
        if (rows < kMinRows) continue;
        const auto [modal, modal_rows] =
            modal_cell_count(std::span<const std::uint32_t>(cells.data() + (head.row_start - first_start), rows));
        if (modal < 2 || (modal != head.cells && modal != head.cells + 1) || modal_rows * 5 < rows * 4) continue;
        if (!head.separator) {
            const std::span<const RowFacts> row_facts_span = facts_of(head.row_start, rows);
            bool marked = false;
            for (std::string_view line : lines.first(head.header))
                marked = marked || is_decorative_divider(line) || looks_like_report_title(line);
            if (!marked) {
                if (!has_index_column(row_facts_span, modal) && !has_numeric_report_density(row_facts_span)) continue;
                if (has_path_heavy_rows(row_facts_span)) continue;
            }
        }
        if (!best || rows > best->row_end - best->row_start) best = Report{head.header, head.row_start, end};
    }
    if (!best) return std::nullopt;

    return model::make_table(lines, best->row_start, best->row_end);
}

}  // namespace filters::table::whitespace
