#include "filters/table/reducer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../../support.h"
#include "text.h"

namespace {

using filters::table::reducer::compress_table_output;

std::string numbered_rows(int count, std::string_view row_template) {
    std::string out;
    for (int i = 1; i <= count; ++i) out += text::format(row_template, i, i) + "\n";
    return out;
}

const std::string kHead = " id | name\n----+------\n";

std::string psql(int rows, const std::string& row_template = "  {} | n{}") {
    return kHead + numbered_rows(rows, row_template) + text::format("({} rows)\n", rows);
}

TEST(TableReducer, KeepsEdgesAndMarksGaps) {
    std::string rows20 = numbered_rows(20, "  {} | n{}");
    rows20.replace(rows20.find("  10 | n10"), 10, "  10 | ERROR");
    std::string rows10 = numbered_rows(10, "  {} | a rather long name {}");
    rows10.replace(rows10.find("  5 | a rather long name 5"), 26, "  5 | failed");
    const test_support::Case cases[] = {
        {"nine rows", psql(9),
         kHead + "  1 | n1\n  2 | n2\n  3 | n3\n… 3 table rows omitted\n  7 | n7\n  8 | n8\n  9 | n9\n(9 rows)\n"},
        {"an interesting row in the middle", kHead + rows20,
         kHead + "  1 | n1\n  2 | n2\n  3 | n3\n… 6 table rows omitted\n  10 | ERROR\n… 7 table rows omitted\n"
                 "  18 | n18\n  19 | n19\n  20 | n20\n"},
        {"one skipped row, no final newline", kHead + rows10 + "(10 rows)",
         kHead + "  1 | a rather long name 1\n  2 | a rather long name 2\n  3 | a rather long name 3\n"
                 "… 1 table row omitted\n  5 | failed\n… 2 table rows omitted\n"
                 "  8 | a rather long name 8\n  9 | a rather long name 9\n  10 | a rather long name 10\n(10 rows)"},
    };
    for (const auto& c : cases) EXPECT_EQ(compress_table_output(c.in), c.want) << c.name;
}

TEST(TableReducer, ReturnsInputWhenNothingShrinks) {
    const std::string cases[] = {
        psql(12, "  {} | error {}"),  // every row is interesting
        "",
        "\n",
        "plain text\nwith lines\n",
        "```\n" + psql(30),
        psql(30) + "\n",  // a blank line after the row count
    };
    for (const auto& in : cases) EXPECT_EQ(compress_table_output(in), in) << in.substr(0, 60);
}

// Whether a psql table of twelve rows keeps its sixth row, which no edge rule
// keeps, when the row's second cell is `cell`.
bool keeps_row(const std::string& cell) {
    const std::string row = "  6 | " + cell + "\n";
    std::string in = kHead + numbered_rows(5, "  {} | a rather long name {}") + row;
    for (int i = 7; i <= 12; ++i) in += text::format("  {} | a rather long name {}\n", i, i);
    const std::string out = compress_table_output(in);
    EXPECT_NE(out, in) << cell;
    return out.find("\n" + row) != std::string::npos;
}

TEST(TableReducer, InterestingRows) {
    const std::pair<std::string, bool> cases[] = {
        {"job  errors=0", true},
        {"job  FAILED", true},
        {"db  failover", false},
        {"x  warnings", true},
        {"see https://example.org/x", true},
        {"(./src/main.rs),", true},
        {"readme.md  12", false},
        {"../up  1", true},
        {"C:\\Users  1", true},
        {"~/notes  1", true},
        {"docs/guide.md  1", true},
        {"a/b  1", false},
        {"550e8400-e29b-41d4-a716-446655440000", true},
        {"550e8400-e29b-41d4-a716-44665544000", false},
        {"commit  0123456789ab", true},
        {"commit  0123456789a", false},
        {"n  123456789012", true},
        {"ticket  OPS-1234", true},
        {"ticket  O-1234", false},
        {"ticket  OPS-1", false},
        {"ticket  Ops-1234", false},
        {"hash=abc1234", false},
        {"hash=abc12345", true},
        {"UUID=abcd_efgh", true},
        {"pid 12345678", true},
        {"id: 12345678", false},
        {"ID:ab-cd_1234", true},
        // Only the first occurrence of each marker is looked at.
        {"id=abc id=abcdefgh", false},
        {"id=abc sha=abcdefgh", true},
        {"plain row  42  ok", false},
    };
    for (const auto& [cell, want] : cases) EXPECT_EQ(keeps_row(cell), want) << cell;
}

// Real captures that hold a table, or look like one, but that the filter
// must leave alone: the context (a traceback, a fenced block, source code,
// log lines) or the rows (paths, pod ready counts) rule a summary out.
TEST(TableReducer, RefusedCaptures) {
    std::size_t seen = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QUORVANE_TEST_DATA) + "/filters/table/refused")) {
        const std::string in = text::normalize_and_trim_trailing_whitespace(
            test_support::read_test_file("filters/table/refused/" + entry.path().filename().string()));
        ASSERT_FALSE(in.empty()) << entry.path();
        EXPECT_EQ(compress_table_output(in), in) << entry.path();
        ++seen;
    }
    EXPECT_GE(seen, 6u);
}

TEST(TableReducer, HugeTableStaysLinear) {
    // 200,000 rows: a quadratic step would take minutes here.
    std::string big = kHead;
    for (int i = 0; i < 200000; ++i) big += text::format("  {} | name{}\n", i, i);
    EXPECT_EQ(compress_table_output(big), kHead +
                                              "  0 | name0\n  1 | name1\n  2 | name2\n… 199994 table rows omitted\n"
                                              "  199997 | name199997\n  199998 | name199998\n  199999 | name199999\n");
}

}  // namespace
