#include "filters/table/detector.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "filters/table/whitespace.h"
#include "table_test_util.h"

namespace {

using namespace filters::table::detector;
using table_test::lines_of;
using table_test::numbered_rows;

const std::string kPsql = " id | name\n----+------\n" + numbered_rows(10, "  {} | n{}") + "(10 rows)\n";

TEST(TableDetector, BlockingContext) {
    struct Case {
        std::string text;
        bool blocked;
    };
    const Case cases[] = {
        {"", true},
        {"\n  \n\t\n", true},
        {kPsql, false},
        {kPsql + "```\n", true},
        {"  ~~~ text\n" + kPsql, true},
        {kPsql + "Traceback (most recent call last):\n", true},
        {kPsql + "  File \"x.py\", line 3\n", true},
        {kPsql + "Filed \"x\"\n", false},
        // three diagnostics among five nonblank lines block; two do not
        {"error: a\nerror[E1]: b\nnote: c\nx\ny\n", true},
        {"error: a\nnote: c\nx\ny\nz\n", false},
        {"INFO a\nWARN b\n  at f()\nx\n", true},
        // path locations: at least two and at least half
        {"src/a.rs:1:2 x\nb.go:3:4 y\nplain\nplain\n", true},
        {"src/a.rs:1:2 x\nplain\nplain\n", false},
        // numbered code: eight lines and at least half
        {numbered_rows(8, "{}\tdef f{}():"), true},
        {numbered_rows(7, "{}\tdef f{}():"), false},
        {numbered_rows(8, "{}\tx{} = 1"), true},
        {numbered_rows(8, "{}\tx{}=1"), false},
        {numbered_rows(8, "{}\t@decorator{}") + numbered_rows(8, "plain {} {}"), true},
        {numbered_rows(8, "{}\t#include <x{}>") + numbered_rows(9, "plain {} {}"), false},
    };
    for (const auto& c : cases) EXPECT_EQ(has_hard_blocking_context(lines_of(c.text)), c.blocked) << c.text;
}

TEST(TableDetector, PreambleAndOrder) {
    // Found below a title and a blank line, which lead the header.
    const auto text = lines_of("Query results\n\n" + kPsql);
    auto t = parse_structured_table(text);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->header.size(), 4u);
    EXPECT_EQ(t->header[0], "Query results");
    EXPECT_EQ(t->header[1], "");
    EXPECT_EQ(t->rows.size(), 10u);

    // Eight prose lines are a preamble; nine are not.
    std::string eight = numbered_rows(8, "Line {} of prose {}");
    EXPECT_TRUE(parse_structured_table(lines_of(eight + kPsql)));
    EXPECT_FALSE(parse_structured_table(lines_of("One more line\n" + eight + kPsql)));

    // A shell prompt above the table is not a safe preamble.
    EXPECT_FALSE(parse_structured_table(lines_of("$ psql -c 'select'\n" + kPsql)));
}

const std::string kTop = "\xE2\x94\x8C\xE2\x94\x80\xE2\x94\xAC\xE2\x94\x80\xE2\x94\x90\n";     // ┌─┬─┐
const std::string kMid = "\xE2\x94\x9C\xE2\x94\x80\xE2\x94\xBC\xE2\x94\x80\xE2\x94\xA4\n";     // ├─┼─┤
const std::string kBottom = "\xE2\x94\x94\xE2\x94\x80\xE2\x94\xB4\xE2\x94\x80\xE2\x94\x98\n";  // └─┴─┘
const std::string kRow = "\xE2\x94\x82 {} \xE2\x94\x82 n{} \xE2\x94\x82";
const std::string kHeader = "\xE2\x94\x82 id \xE2\x94\x82 name \xE2\x94\x82\n";

TEST(TableDetector, MoreThanEightRows) {
    const std::string box8 = kTop + kHeader + kMid + numbered_rows(8, kRow) + kBottom + "(end)\n";
    const auto box8_lines = lines_of(box8);
    const auto blocks = parse_structured_table_blocks(box8_lines);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].rows.size(), 8u);
    EXPECT_FALSE(parse_structured_table(lines_of(box8)));
    const std::string box9 = kTop + kHeader + kMid + numbered_rows(9, kRow) + kBottom;
    EXPECT_TRUE(parse_structured_table(lines_of(box9)));
}

TEST(TableDetector, CandidatesInOrder) {
    // At the top a box closes after one row; two lines further down a box
    // of nine rows starts, below a preamble of a border and a prose line.
    const std::string text = kTop + kHeader + kMid + "\xE2\x94\x82 x \xE2\x94\x82 y \xE2\x94\x82\n" + kMid +
                             numbered_rows(9, kRow) + kBottom;
    const auto lines = lines_of(text);
    const auto blocks = parse_structured_table_blocks(lines);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].rows.size(), 1u);
    EXPECT_EQ(blocks[1].header.size(), 5u);
    const auto t = parse_structured_table(lines);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->rows.size(), 9u);
    EXPECT_EQ(t->header.front(), lines[0]);
    EXPECT_EQ(t->footer.size(), 1u);

    // A markdown table below one prose line.
    const std::string md = "Top line here\n| a | b |\n|---|---|\n" + numbered_rows(9, "| {} | {} |");
    const auto md_lines = lines_of(md);
    auto found = parse_structured_table(md_lines);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->rows.size(), 9u);
    EXPECT_EQ(found->header.size(), 3u);
}

// The filter declines on the first 24 lines alone when `may_hold_table` says
// no; that must never hide a table the whole text holds.
std::span<const std::string_view> first24(const table_test::OwnedLines& lines) {
    return std::span<const std::string_view>(lines.lines).first(std::min<std::size_t>(lines.lines.size(), 24));
}

TEST(TableDetector, FirstLinesNeverHideATable) {
    std::vector<std::string> texts = {
        kPsql,
        numbered_rows(8, "Line {} of prose {}") + kPsql,               // shape below the longest preamble
        numbered_rows(9, "Line {} of prose {}") + "NAME  SIZE\n----  ----\n" + numbered_rows(30, "f{}  {}"),
        "Benchmark results\nNAME  STATUS  AGE\n" + numbered_rows(40, "web-{}  Running  pod{}"),
        "NAME  AGE\n" + numbered_rows(30, "web-{}  {}d") + "\n" + numbered_rows(5, "x{}  {}"),
    };
    const std::string root = std::string(QUORVANE_TEST_DATA);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file() || !(path.ends_with(".in") || path.find("/refused/") != std::string::npos)) continue;
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        texts.push_back(text::normalize_and_trim_trailing_whitespace(ss.str()));
    }
    std::size_t tables = 0;
    for (const std::string& t : texts) {
        const auto lines = lines_of(t);
        // Blocked or short tables too: the first lines must still show them.
        const bool found = parse_structured_table(lines).has_value() || !parse_structured_table_blocks(lines).empty() ||
                           filters::table::whitespace::parse_whitespace_report(lines).has_value();
        if (!found) continue;
        ++tables;
        EXPECT_TRUE(may_hold_table(first24(lines))) << t.substr(0, 200);
    }
    EXPECT_GE(tables, 13u);
}

TEST(TableDetector, FirstLinesDeclineOtherOutput) {
    const std::string cases[] = {
        numbered_rows(30, "2024-05-01T00:00:0{}Z INFO api: request {} done"),
        // A header-like line whose rows stop at once.
        "commit 0123abc\nAuthor: A B <a@b.c>\nDate:   Mon Jun 26 08:46:00 2024 +0200\n\n" + numbered_rows(30, "    line {} {}"),
        "NAME  AGE\n" + numbered_rows(5, "web-{}  {}d") + "\n" + numbered_rows(30, "x {} {}"),
    };
    for (const std::string& t : cases) EXPECT_FALSE(may_hold_table(first24(lines_of(t)))) << t.substr(0, 80);
}

}  // namespace
