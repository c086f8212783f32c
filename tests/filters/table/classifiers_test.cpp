#include "filters/table/classifiers.h"

#include <gtest/gtest.h>

#include "table_test_util.h"

namespace {

using namespace filters::table::classifiers;

TEST(TableClassifiers, SplitColumns) {
    struct Case {
        std::string line;
        std::vector<std::string_view> cells;
    };
    const Case cases[] = {
        {"a  b c   d", {"a", "b c", "d"}},
        {"name  size", {"name", "size"}},
        {"name size", {"name size"}},
        {"  lead   trail  ", {"lead", "trail"}},
        {"tab\tinside  x", {"tab\tinside", "x"}},
        {"", {}},
        {"caf\xC3\xA9  \xE2\x94\x80", {"caf\xC3\xA9", "\xE2\x94\x80"}},
    };
    for (const auto& c : cases) EXPECT_EQ(split_columns(c.line), c.cells) << c.line;
}

TEST(TableClassifiers, LineTests) {
    struct Case {
        bool (*test)(std::string_view);
        std::string line;
        bool want;
    };
    const Case cases[] = {
        {is_decorative_divider, "======", true},
        {is_decorative_divider, "\xE2\x94\x80\xE2\x94\xBC\xE2\x94\x80", true},  // ─┼─
        {is_decorative_divider, "== Results ==", false},
        {is_decorative_divider, "--", false},
        {is_decorative_divider, "-+-+-+", true},
        {is_decorative_divider, "-..-..", false},  // fewer than half are dividers
        {is_decorative_divider, "--\xD9\xA1--", false},  // an Arabic-Indic digit is a number
        {is_decorative_divider, "==\xC3\xA9==", false},
        {looks_like_report_title, "== Results ==", true},
        {looks_like_report_title, "Benchmark results", true},
        {looks_like_report_title, "METRICS:", true},
        {looks_like_report_title, "table_name", false},  // "_" joins the word
        {looks_like_report_title, "tables", false},
        {looks_like_report_title, "r\xC3\xA9sum\xC3\xA9 table", true},
        {is_psql_row_count_footer, "(12 rows)", true},
        {is_psql_row_count_footer, "(1 row)", true},
        {is_psql_row_count_footer, "  (3 rows)", true},
        {is_psql_row_count_footer, "(12 rows) x", false},
        {is_psql_row_count_footer, "(twelve rows)", false},
        {is_psql_row_count_footer, "(12  rows)", false},
        {looks_like_table_footer_line, "Total 12 rows", true},
        {looks_like_table_footer_line, "total: 5", false},
        {looks_like_table_footer_line, "Shown 10 of 200", true},
        {looks_like_table_footer_line, "Total rows", false},
        {looks_like_table_footer_line, "[1000 rows x 4 columns]", true},
        {looks_like_table_footer_line, "(2 rows)", true},
        {looks_like_path_location_line, "src/app.py:12: error", true},
        {looks_like_path_location_line, "main.go:7:3", true},
        {looks_like_path_location_line, "~x:9:", true},
        {looks_like_path_location_line, "main:7:", false},
        {looks_like_path_location_line, "a.c:07:", false},
        {looks_like_path_location_line, "a.c::", false},
        {looks_like_path_location_line, "12:30:45 start", false},
        {looks_like_path_location_line, "at a.b:x:12:", true},
        {looks_like_path_location_line, "version:1:2", false},
        {looks_like_path_location_line, "x:1:y.z:2:", true},
        {looks_like_log_line, "  ERROR something", true},
        {looks_like_log_line, "ERROR: something", false},
        {looks_like_log_line, "info started", false},
        {is_psql_separator, "----+-------", true},
        {is_psql_separator, "-----", false},
        {is_psql_separator, "----+-", false},
        {is_mysql_border, "+----+------+", true},
        {is_mysql_border, "+----+", false},
        {is_mysql_border, "+====+====+", false},
        {is_unicode_border, "\xE2\x94\x8C\xE2\x94\x80\xE2\x94\xAC\xE2\x94\x80\xE2\x94\x90", true},  // ┌─┬─┐
        {is_unicode_border, "\xE2\x94\x80\xE2\x94\x80\xE2\x94\x80", false},                           // ───
        {is_unicode_row, "\xE2\x94\x82 a \xE2\x94\x82 b \xE2\x94\x82", true},
        {is_unicode_row, "| a | b |", false},
        {is_markdown_separator, "|---|:---:|", true},
        {is_markdown_separator, "| --- | ---: |", true},
        {is_markdown_separator, "|--|---|", false},
        {is_markdown_separator, "|---|", false},
        {is_markdown_separator, "|---||---|", false},
        {is_sqlite_separator, "----  -----", true},
        {is_sqlite_separator, "-  ----", false},
        {is_whitespace_table_row, "web-1  Running  3", true},
        {is_whitespace_table_row, "web-1 Running", false},
        {is_whitespace_table_row, "a  |  b", false},
        {is_whitespace_table_row, "$ ls  -l", false},
        {is_whitespace_table_row, "Total  12", false},
        {is_whitespace_table_row, "src/a.rs:1:2  x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.test(c.line), c.want) << c.line;
}

TEST(TableClassifiers, Cells) {
    struct Case {
        bool (*test)(std::string_view);
        std::string cell;
        bool want;
    };
    const Case cases[] = {
        {is_numeric_cell, "12", true},      {is_numeric_cell, "-2.5e3", true},   {is_numeric_cell, "1,024", true},
        {is_numeric_cell, "97.5%", true},   {is_numeric_cell, "3/4", true},      {is_numeric_cell, "3/4s", false},
        {is_numeric_cell, "/4", false},     {is_numeric_cell, "12ms", true},     {is_numeric_cell, "3.5GB", true},
        {is_numeric_cell, "5kbps", true},   {is_numeric_cell, "5kbpsx", false},  {is_numeric_cell, "nan", true},
        {is_numeric_cell, "-inf", true},    {is_numeric_cell, "0x1F", false},    {is_numeric_cell, "ms", false},
        {is_numeric_cell, "+", false},      {is_numeric_cell, ".", false},       {is_numeric_cell, "1.2.3", false},
        {is_numeric_cell, "%", false},      {is_numeric_cell, ",", false},       {is_numeric_cell, "v1", false},
        {is_index_cell, "12", true},        {is_index_cell, "3)", true},         {is_index_cell, "4.", true},
        {is_index_cell, "A1", true},        {is_index_cell, "ID12", true},       {is_index_cell, "ABCD1", false},
        {is_index_cell, ")", false},        {is_index_cell, "A1b", false},       {is_index_cell, "web", false},
        {is_header_cell, "NAME", true},     {is_header_cell, "CPU %", true},     {is_header_cell, "size(MB)", true},
        {is_header_cell, "a|b", false},     {is_header_cell, "", false},         {is_header_cell, std::string(81, 'a'), false},
        {is_path_cell, "~x", true},         {is_path_cell, "a\\b", true},        {is_path_cell, "a.b", false},
        {is_path_cell, "1/1", true},        {is_path_cell, "1,000/2", true},    {is_path_cell, "1/x", true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.test(c.cell), c.want) << c.cell;
}

TEST(TableClassifiers, ColumnSeparator) {
    EXPECT_TRUE(is_column_separator("----  ------  ---", 3));
    EXPECT_TRUE(is_column_separator("====  ====  ====  ==", 3));
    EXPECT_FALSE(is_column_separator("----  ------", 3));
    EXPECT_FALSE(is_column_separator("----  -  ---", 3));
    EXPECT_FALSE(is_column_separator("----  -+-  ---", 3));
}

TEST(TableClassifiers, PreambleIsSafe) {
    using table_test::lines_of;
    EXPECT_TRUE(preamble_is_safe({}));
    EXPECT_TRUE(preamble_is_safe(lines_of("Query results\n\n=====\n")));
    EXPECT_TRUE(preamble_is_safe(lines_of("Gr\xC3\xBC\xC3\x9F\n")));  // letters beyond ASCII count
    EXPECT_FALSE(preamble_is_safe(lines_of("ab 12\n")));               // two letters
    EXPECT_FALSE(preamble_is_safe(lines_of("$ psql -c 'select 1'\n")));
    EXPECT_FALSE(preamble_is_safe(lines_of("[info] starting\n")));
    EXPECT_FALSE(preamble_is_safe(lines_of("src/app.py:12: hello\n")));
    EXPECT_FALSE(preamble_is_safe(lines_of(std::string(81, 'a') + "\n")));
    EXPECT_TRUE(preamble_is_safe(lines_of(std::string(8, '\n'))));
    EXPECT_FALSE(preamble_is_safe(lines_of(std::string(9, '\n'))));
}

TEST(TableClassifiers, ReportDensityTests) {
    using table_test::lines_of;
    const auto indexed = lines_of("1  alpha  x\n2  beta  y\n3  gamma  z\n4  delta  w\nfoo  bar  baz\n");
    EXPECT_TRUE(has_index_column(indexed, 3));   // 4 of 5
    EXPECT_FALSE(has_index_column(indexed, 2));  // no row has 2 cells
    EXPECT_TRUE(has_numeric_report_density(lines_of("a  b  1\nc  d  2\ne  f  3\ng  h  4\ni  j  k\n")));
    EXPECT_FALSE(has_numeric_report_density(lines_of("a  b  1\nc  d  2\ne  f  3\ng  h  i\ni  j  k\n")));  // 3 of 5 rows
    EXPECT_FALSE(has_numeric_report_density(lines_of("a  b  c  d  1\na  b  c  d  2\na  b  c  d  3\n")));  // 3 of 15 cells
    EXPECT_TRUE(has_numeric_report_density(lines_of("a  1\nb  2\nc  3\nd  4\ne  f\n")));
    EXPECT_TRUE(has_path_heavy_rows(lines_of("a  /x\nb  ~y\nc  d\\e\nf  g\ng  h\nh  i\n")));
    EXPECT_FALSE(has_path_heavy_rows(lines_of("a  /x\nb  ~y\nc  d\ne  f\n")));
}

}  // namespace
