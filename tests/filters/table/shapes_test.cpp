#include "filters/table/shapes.h"

#include <gtest/gtest.h>

#include "table_test_util.h"

namespace {

using namespace filters::table::shapes;
using table_test::lines_of;
using table_test::numbered_rows;

const std::string kPsqlHead = " id | name\n----+------\n";
const std::string kMysqlBorder = "+----+------+\n";
const std::string kMysqlHead = kMysqlBorder + "| id | name |\n" + kMysqlBorder;
// ┌────┬──────┐ │ id │ name │ ├────┼──────┤ └────┴──────┘
const std::string kBoxTop = "\xE2\x94\x8C\xE2\x94\x80\xE2\x94\x80\xE2\x94\xAC\xE2\x94\x80\xE2\x94\x80\xE2\x94\x90\n";
const std::string kBoxHeader = "\xE2\x94\x82 id \xE2\x94\x82 name \xE2\x94\x82\n";
const std::string kBoxMid = "\xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80\xE2\x94\xBC\xE2\x94\x80\xE2\x94\x80\xE2\x94\xA4\n";
const std::string kBoxBottom = "\xE2\x94\x94\xE2\x94\x80\xE2\x94\x80\xE2\x94\xB4\xE2\x94\x80\xE2\x94\x80\xE2\x94\x98\n";
const std::string kBoxRow = "\xE2\x94\x82 {} \xE2\x94\x82 n{} \xE2\x94\x82";
const std::string kMarkdownHead = "| id | name |\n|----|:----:|\n";
const std::string kSqliteHead = "id  name\n--  ----\n";

struct Shape {
    std::string text;
    std::size_t header, rows, footer;  // rows == 0: refused
};

void check(std::optional<StructuredTable> (*parse)(Lines), const std::vector<Shape>& cases) {
    for (const auto& c : cases) {
        const auto lines = lines_of(c.text);
        table_test::expect_table(parse(lines), {c.header, c.rows, c.footer}, c.text);
    }
}

TEST(TableShapes, Psql) {
    const std::string rows9 = numbered_rows(9, "  {} | n{}");
    const std::string rows10 = numbered_rows(10, "  {} | n{}");
    check(parse_psql_table, {
                                {kPsqlHead + rows10 + "(10 rows)\n", 2, 10, 1},
                                {kPsqlHead + rows9, 2, 9, 0},
                                {kPsqlHead + numbered_rows(8, "  {} | n{}"), 0, 0, 0},       // 10 lines
                                {kPsqlHead + numbered_rows(8, "  {} | n{}") + "(8 rows)\n", 0, 0, 0},  // 11 lines with a footer
                                {kPsqlHead + rows10 + "(10 rows)\n\n", 0, 0, 0},          // a blank line after the count
                                {kPsqlHead + rows10 + "\n", 0, 0, 0},                      // blank line without a count
                                {kPsqlHead + rows10 + "(10 rows)\nmore\n", 0, 0, 0},
                                {" a | b | c | d\n---+---+---\n" + numbered_rows(10, " {} | {} | x | y"), 0, 0, 0},
                                {kPsqlHead + rows9 + "  10 | x | y\n", 0, 0, 0},
                                {kPsqlHead + rows9 + "\n  10 | x\n", 0, 0, 0},
                            });
}

TEST(TableShapes, MysqlBox) {
    const std::string rows10 = numbered_rows(10, "| {}  | n{} |");
    check(parse_mysql_box_table, {
                                     {kMysqlHead + rows10 + kMysqlBorder, 3, 10, 1},
                                     {kMysqlHead + rows10 + kMysqlBorder + "10 rows in set (0.01 sec)\n", 3, 10, 2},
                                     {kMysqlHead + rows10 + kMysqlBorder + "Bye\n", 0, 0, 0},
                                     {kMysqlHead + rows10, 0, 0, 0},  // no closing border
                                     {kMysqlHead + rows10 + "| 1 | 2 | 3 |\n" + kMysqlBorder, 0, 0, 0},
                                 });
}

TEST(TableShapes, UnicodeBox) {
    const std::string rows10 = numbered_rows(10, kBoxRow);
    const std::string empty_cell = "\xE2\x94\x82 5 \xE2\x94\x82  \xE2\x94\x82\n";
    check(parse_unicode_box_table, {
                                       {kBoxTop + kBoxHeader + kBoxMid + rows10 + kBoxBottom, 3, 10, 1},
                                       {kBoxTop + kBoxHeader + kBoxMid + rows10 + kBoxBottom + "\nanything\n", 3, 10, 3},
                                       {kBoxTop + kBoxHeader + kBoxMid + rows10, 0, 0, 0},
                                       {kBoxTop + kBoxHeader + kBoxMid + numbered_rows(9, kBoxRow) + empty_cell + kBoxBottom, 0, 0, 0},
                                       {kBoxTop + "\xE2\x94\x82 id \xE2\x94\x82 na|me \xE2\x94\x82\n" + kBoxMid + rows10 + kBoxBottom, 0, 0, 0},
                                   });
}

TEST(TableShapes, MarkdownPipe) {
    const std::string rows9 = numbered_rows(9, "| {} | n{} |");
    check(parse_markdown_pipe_table, {
                                         {kMarkdownHead + rows9, 2, 9, 0},
                                         {kMarkdownHead + rows9 + "\n", 0, 0, 0},
                                         {kMarkdownHead + rows9 + "Some prose.\n", 0, 0, 0},
                                         {"| id | name |\n|--|--|\n" + rows9, 0, 0, 0},
                                     });
}

TEST(TableShapes, SqliteColumn) {
    const std::string rows10 = numbered_rows(10, "{}   n{}");
    check(parse_sqlite_column_table, {
                                         {kSqliteHead + rows10, 2, 10, 0},
                                         {kSqliteHead + rows10 + "Total 12 rows\nshown 10\n", 2, 10, 2},
                                         {kSqliteHead + "ERROR 1  x\n" + rows10, 0, 0, 0},
                                         {kSqliteHead + "src/a.c:1:2  x\n" + rows10, 0, 0, 0},
                                         {kSqliteHead + rows10 + "a|b\n", 0, 0, 0},
                                         {"id  name\n--  ----  --\n" + rows10, 0, 0, 0},
                                         {"id  na!me\n--  ----\n" + rows10, 0, 0, 0},
                                         // three single-cell rows of ten: 7 * 4 < 10 * 3
                                         {kSqliteHead + numbered_rows(7, "{}  n{}") + "x\ny\nz\n", 0, 0, 0},
                                         {kSqliteHead + numbered_rows(8, "{}  n{}") + "y\nz\n", 2, 10, 0},
                                     });
}

}  // namespace
