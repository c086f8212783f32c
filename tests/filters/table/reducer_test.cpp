#include "filters/table/reducer.h"

#include <gtest/gtest.h>

#include "filters/table/summary.h"
#include "table_test_util.h"

namespace {

using filters::table::reducer::compress_table_output;
using filters::table::reducer::try_compress_table_output;
using filters::table::summary::has_named_id_marker;
using filters::table::summary::is_interesting_row;
using table_test::numbered_rows;

const std::string kHead = " id | name\n----+------\n";

std::string psql(int rows, const std::string& row_template = "  {} | n{}") {
    return kHead + numbered_rows(rows, row_template) + text::format("({} rows)\n", rows);
}

TEST(TableReducer, KeepsEdgesAndMarksGaps) {
    EXPECT_EQ(compress_table_output(psql(9)),
              kHead + "  1 | n1\n  2 | n2\n  3 | n3\n… 3 table rows omitted\n  7 | n7\n  8 | n8\n  9 | n9\n(9 rows)\n");

    std::string rows20 = numbered_rows(20, "  {} | n{}");
    rows20.replace(rows20.find("  10 | n10"), 10, "  10 | ERROR");
    EXPECT_EQ(compress_table_output(kHead + rows20),
              kHead + "  1 | n1\n  2 | n2\n  3 | n3\n… 6 table rows omitted\n  10 | ERROR\n… 7 table rows omitted\n"
                      "  18 | n18\n  19 | n19\n  20 | n20\n");

    // A single skipped row is announced too (the rows are long enough for
    // the markers to pay off).
    std::string rows10 = numbered_rows(10, "  {} | a rather long name {}");
    rows10.replace(rows10.find("  5 | a rather long name 5"), 26, "  5 | failed");
    EXPECT_EQ(compress_table_output(kHead + rows10 + "(10 rows)"),
              kHead + "  1 | a rather long name 1\n  2 | a rather long name 2\n  3 | a rather long name 3\n"
                      "… 1 table row omitted\n  5 | failed\n… 2 table rows omitted\n"
                      "  8 | a rather long name 8\n  9 | a rather long name 9\n  10 | a rather long name 10\n(10 rows)");
}

TEST(TableReducer, ReturnsInputWhenNothingShrinks) {
    const std::string all_interesting = psql(12, "  {} | error {}");
    EXPECT_EQ(compress_table_output(all_interesting), all_interesting);
    EXPECT_FALSE(try_compress_table_output(all_interesting));
    EXPECT_FALSE(try_compress_table_output(""));
    EXPECT_FALSE(try_compress_table_output("\n"));
    EXPECT_FALSE(try_compress_table_output("plain text\nwith lines\n"));
    const std::string fenced = "```\n" + psql(30);
    EXPECT_EQ(compress_table_output(fenced), fenced);
}

TEST(TableReducer, InterestingRows) {
    struct Case {
        std::string row;
        bool want;
    };
    const Case cases[] = {
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
        {"plain row  42  ok", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_interesting_row(c.row), c.want) << c.row;
}

TEST(TableReducer, NamedIdMarker) {
    // Only the first occurrence of each marker is looked at.
    EXPECT_FALSE(has_named_id_marker("id=abc id=abcdefgh"));
    EXPECT_TRUE(has_named_id_marker("id=abc sha=abcdefgh"));
    EXPECT_TRUE(has_named_id_marker("uuid=a-b_c-d_e"));
    EXPECT_FALSE(has_named_id_marker("id=abcdefg"));
}

TEST(TableReducer, HugeTableStaysLinear) {
    // 200,000 rows: a quadratic step would take minutes here.
    std::string big = kHead;
    for (int i = 0; i < 200000; ++i) big += text::format("  {} | name{}\n", i, i);
    const std::string out = compress_table_output(big);
    EXPECT_EQ(out, kHead + "  0 | name0\n  1 | name1\n  2 | name2\n… 199994 table rows omitted\n"
                           "  199997 | name199997\n  199998 | name199998\n  199999 | name199999\n");
}

}  // namespace
