// Line and cell classifiers shared by the table shapes, the aligned-report
// parser and the detector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "filters/table/model.h"

namespace filters::table::classifiers {

// Number of times the byte `c` occurs in `line`.
std::size_t count_byte(std::string_view line, char c);

// ----------------------------------------------------------------- cells --

// The trimmed line cut at every run of two or more spaces (U+0020); a
// single space stays inside a cell; cells are trimmed, empty ones dropped.
std::vector<std::string_view> split_columns(std::string_view line);

// 1 to 80 bytes of ASCII letters, digits and " #%()+-./:[]_".
bool is_header_cell(std::string_view cell);
// False when some cell of the line (as `split_columns` cuts it) surely
// fails `is_header_cell` on its characters: an ASCII byte that is neither
// whitespace nor allowed in a header cell. Read up to that byte only.
bool may_be_header_line(std::string_view line);

// ------------------------------------------------------------ line tests --

bool is_decorative_divider(std::string_view line);
bool looks_like_report_title(std::string_view line);
bool is_psql_row_count_footer(std::string_view line);
bool looks_like_table_footer_line(std::string_view line);
bool looks_like_path_location_line(std::string_view line);
bool looks_like_log_line(std::string_view line);

// The lines above a candidate header: at most 8, each blank, a divider, a
// report title or a short line of prose.
bool preamble_is_safe(model::Lines preamble);

// --------------------------------------------------- structured shapes --

bool is_psql_separator(std::string_view line);
bool is_mysql_border(std::string_view line);
bool is_mysql_row(std::string_view line);
bool is_mysql_footer_line(std::string_view line);
bool is_unicode_border(std::string_view line);
bool is_unicode_row(std::string_view line);
std::vector<std::string_view> split_unicode_row(std::string_view line);
// Trimmed, starts and ends with "|" and holds at least three of them.
bool is_markdown_row(std::string_view line);
bool is_markdown_separator(std::string_view line);
bool is_sqlite_separator(std::string_view line);

// ------------------------------------------------------- aligned reports --

bool is_column_separator(std::string_view line, std::size_t header_cells);
bool is_whitespace_table_row(std::string_view line);

// What the report tests need to know of one row, so that several
// candidates over the same rows split each line only once.
struct RowFacts {
    std::uint32_t cells = 0;
    std::uint32_t numeric_cells = 0;
    bool index_first = false;
    bool path_heavy = false;
};
// The number of cells of a line that passes `is_whitespace_table_row` (two
// or more), else 0: `RowFacts::cells`, told without the other facts.
std::size_t whitespace_row_cells(std::string_view line);
// The facts of a line that passes `is_whitespace_table_row`, else nothing
// (one split of the line serves both).
std::optional<RowFacts> whitespace_row_facts(std::string_view line);

bool has_index_column(std::span<const RowFacts> rows, std::size_t modal_cells);
bool has_numeric_report_density(std::span<const RowFacts> rows);
bool has_path_heavy_rows(std::span<const RowFacts> rows);

}  // namespace filters::table::classifiers
