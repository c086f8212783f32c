#include "filters/table/shapes.h"

#include <algorithm>

#include "filters/table/classifiers.h"
#include "text.h"

namespace filters::table::shapes {

using namespace classifiers;
using model::make_table;

namespace {

// Lines each shape needs at the least, header and borders included.
constexpr std::size_t kMinPsqlLines = 11;
constexpr std::size_t kMinPsqlLinesWithFooter = 12;
constexpr std::size_t kMinBoxLines = 13;
constexpr std::size_t kMinMarkdownLines = 11;
constexpr std::size_t kMinSqliteLines = 11;

// Index of the first closing border at or after line 3, when every line
// before it is a row that `is_row` accepts; nothing otherwise.
template <class IsBorder, class IsRow>
std::optional<std::size_t> find_closing_border(Lines lines, IsBorder is_border, IsRow is_row) {
    for (std::size_t i = 3; i < lines.size(); ++i) {
        if (is_border(lines[i])) return i;
        if (!is_row(lines[i])) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

bool opens_psql_table(Lines lines) {
    return lines.size() >= 2 && text::contains(lines[0], "|") && is_psql_separator(lines[1]) &&
           count_byte(lines[0], '|') == count_byte(lines[1], '+');
}

bool opens_mysql_box_table(Lines lines) {
    return lines.size() >= 3 && is_mysql_border(lines[0]) && is_mysql_row(lines[1]) && is_mysql_border(lines[2]) &&
           count_byte(lines[1], '|') == count_byte(lines[0], '+');
}

bool opens_unicode_box_table(Lines lines) {
    if (lines.size() < 3 || !is_unicode_border(lines[0]) || !is_unicode_row(lines[1]) || !is_unicode_border(lines[2]))
        return false;
    const auto header = split_unicode_row(lines[1]);
    return header.size() >= 2 && std::all_of(header.begin(), header.end(), is_header_cell);
}

bool opens_markdown_pipe_table(Lines lines) {
    return lines.size() >= 2 && is_markdown_row(lines[0]) && is_markdown_separator(lines[1]);
}

bool opens_sqlite_column_table(Lines lines) {
    if (lines.size() < 2) return false;
    if (text::contains(lines[0], "|") || lines[1].find_first_of("|+") != std::string_view::npos) return false;
    if (!is_sqlite_separator(lines[1])) return false;
    const auto header = split_columns(lines[0]);
    return header.size() >= 2 && header.size() == split_columns(lines[1]).size() &&
           std::all_of(header.begin(), header.end(), is_header_cell);
}

std::optional<StructuredTable> parse_psql_table(Lines lines) {
    if (lines.size() < kMinPsqlLines || !opens_psql_table(lines)) return std::nullopt;
    std::size_t end = lines.size();
    if (is_psql_row_count_footer(lines[end - 1])) end -= 1;
    if (end < lines.size() && lines.size() < kMinPsqlLinesWithFooter) return std::nullopt;
    const std::size_t bars = count_byte(lines[0], '|');
    // Whatever follows a result ends it: looking at the last row first
    // refuses such text without reading every row.
    if (count_byte(lines[end - 1], '|') != bars) return std::nullopt;
    for (std::size_t i = 2; i < end; ++i)
        if (count_byte(lines[i], '|') != bars) return std::nullopt;
    return make_table(lines, 2, end);
}

std::optional<StructuredTable> parse_mysql_box_table(Lines lines) {
    if (lines.size() < kMinBoxLines || !opens_mysql_box_table(lines)) return std::nullopt;
    const std::size_t columns = count_byte(lines[0], '+');
    const auto close = find_closing_border(lines, is_mysql_border, [&](std::string_view line) {
        return is_mysql_row(line) && count_byte(line, '|') == columns;
    });
    if (!close) return std::nullopt;
    for (std::size_t i = *close + 1; i < lines.size(); ++i)
        if (!is_mysql_footer_line(lines[i])) return std::nullopt;
    return make_table(lines, 3, *close);
}

std::optional<StructuredTable> parse_unicode_box_table(Lines lines) {
    if (lines.size() < kMinBoxLines || !opens_unicode_box_table(lines)) return std::nullopt;
    const std::size_t columns = split_unicode_row(lines[1]).size();
    const auto close = find_closing_border(lines, is_unicode_border, [&](std::string_view line) {
        return is_unicode_row(line) && split_unicode_row(line).size() == columns;
    });
    if (!close) return std::nullopt;
    return make_table(lines, 3, *close);
}

std::optional<StructuredTable> parse_markdown_pipe_table(Lines lines) {
    if (lines.size() < kMinMarkdownLines || !opens_markdown_pipe_table(lines)) return std::nullopt;
    if (!is_markdown_row(lines[lines.size() - 1])) return std::nullopt;  // the cheap refusal first
    for (std::size_t i = 2; i < lines.size(); ++i)
        if (!is_markdown_row(lines[i])) return std::nullopt;
    return make_table(lines, 2, lines.size());
}

std::optional<StructuredTable> parse_sqlite_column_table(Lines lines) {
    if (lines.size() < kMinSqliteLines || !opens_sqlite_column_table(lines)) return std::nullopt;
    std::size_t end = lines.size();
    while (end > 2 && looks_like_table_footer_line(lines[end - 1])) --end;
    std::size_t multi_cell = 0;
    for (std::size_t i = 2; i < end; ++i) {
        const std::string_view row = lines[i];
        if (text::contains(row, "|") || looks_like_path_location_line(row) || looks_like_log_line(row))
            return std::nullopt;
        multi_cell += split_columns(row).size() >= 2;
    }
    if (multi_cell * 4 < (end - 2) * 3) return std::nullopt;
    return make_table(lines, 2, end);
}

}  // namespace filters::table::shapes
