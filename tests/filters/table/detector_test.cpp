#include "filters/table/detector.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../../support.h"
#include "filters/table/whitespace.h"
#include "text.h"

namespace {

using namespace filters::table;
using test_support::Case;

// Rows numbered from 1, each "{}" of the template filled with the number.
std::string numbered_rows(int count, std::string_view row_template) {
    std::string out;
    for (int i = 1; i <= count; ++i) out += text::format(row_template, i, i, i) + "\n";
    return out;
}

// "header+rows+footer" line counts of the table found, or "none".
std::string shape_of(const std::string& text) {
    const text::LineIndex lines(text);
    const auto t = detector::parse_structured_table(model::Lines(lines));
    return t ? text::format("{}+{}+{}", t->header.size(), t->rows.size(), t->footer.size()) : "none";
}

void expect_shapes(const std::vector<Case>& cases) {
    for (const auto& c : cases) EXPECT_EQ(shape_of(c.in), c.want) << c.name;
}

const std::string kPsqlHead = " id | name\n----+------\n";
const std::string kPsql = kPsqlHead + numbered_rows(10, "  {} | n{}") + "(10 rows)\n";
const std::string kMysqlBorder = "+----+------+\n";
const std::string kMysqlHead = kMysqlBorder + "| id | name |\n" + kMysqlBorder;
// ┌────┬──────┐ │ id │ name │ ├────┼──────┤ └────┴──────┘
const std::string kBoxTop = "\xE2\x94\x8C\xE2\x94\x80\xE2\x94\x80\xE2\x94\xAC\xE2\x94\x80\xE2\x94\x80\xE2\x94\x90\n";
const std::string kBoxHeader = "\xE2\x94\x82 id \xE2\x94\x82 name \xE2\x94\x82\n";
const std::string kBoxMid = "\xE2\x94\x9C\xE2\x94\x80\xE2\x94\x80\xE2\x94\xBC\xE2\x94\x80\xE2\x94\x80\xE2\x94\xA4\n";
const std::string kBoxBottom = "\xE2\x94\x94\xE2\x94\x80\xE2\x94\x80\xE2\x94\xB4\xE2\x94\x80\xE2\x94\x80\xE2\x94\x98\n";
const std::string kBoxRow = "\xE2\x94\x82 {} \xE2\x94\x82 n{} \xE2\x94\x82";
const std::string kBoxHead = kBoxTop + kBoxHeader + kBoxMid;
const std::string kBox9 = kBoxHead + numbered_rows(9, kBoxRow) + kBoxBottom;
const std::string kMarkdownHead = "| id | name |\n|----|:----:|\n";
const std::string kSqliteHead = "id  name\n--  ----\n";
const std::string kPods = numbered_rows(9, "web-{}  Running  {}d");
const std::string kPodsHeader = "NAME  STATUS  AGE\n";

TEST(TableDetector, StructuredShapes) {
    const std::string psql9 = kPsqlHead + numbered_rows(9, "  {} | n{}");
    const std::string mysql10 = kMysqlHead + numbered_rows(10, "| {}  | n{} |");
    const std::string sqlite10 = kSqliteHead + numbered_rows(10, "{}   n{}");
    const std::string sqlite3 = kSqliteHead + numbered_rows(3, "{}   n{}");
    const std::string sqlite7 = numbered_rows(7, "{}   m{}");
    expect_shapes({
        {"psql with its count", kPsql, "2+10+1"},
        {"psql of 9 rows without a count", psql9, "2+9+0"},
        {"psql of 9 rows and a count: 12 lines", psql9 + "(9 rows)\n", "2+9+1"},
        {"psql count without digits", psql9 + "( rows)\n", "2+9+1"},
        {"psql count, then a blank line", kPsql + "\n", "none"},
        {"psql line after the count", kPsql + "more\n", "none"},
        {"psql bars and pluses differ", " a | b | c | d\n---+---+---\n" + numbered_rows(10, " {} | {} | x | y"),
         "none"},
        {"psql row with an extra bar", psql9 + "  10 | x | y\n", "none"},
        {"mysql", mysql10 + kMysqlBorder, "3+10+1"},
        {"mysql rows in set", mysql10 + kMysqlBorder + "10 rows in set (0.01 sec)\n", "3+10+2"},
        {"mysql other line after the border", mysql10 + kMysqlBorder + "Bye\n", "none"},
        {"mysql without a closing border", mysql10, "none"},
        {"box", kBoxHead + numbered_rows(10, kBoxRow) + kBoxBottom, "3+10+1"},
        {"box, anything after", kBox9 + "\nanything\n", "3+9+3"},
        {"box with an empty cell",
         kBoxHead + numbered_rows(9, kBoxRow) + "\xE2\x94\x82 5 \xE2\x94\x82  \xE2\x94\x82\n" + kBoxBottom, "none"},
        {"box header cell outside the set",
         kBoxTop + "\xE2\x94\x82 id \xE2\x94\x82 na|me \xE2\x94\x82\n" + kBoxMid + numbered_rows(10, kBoxRow) +
             kBoxBottom,
         "none"},
        {"box of 8 rows", kBoxHead + numbered_rows(8, kBoxRow) + kBoxBottom, "none"},
        {"markdown", kMarkdownHead + numbered_rows(9, "| {} | n{} |"), "2+9+0"},
        {"markdown then a blank line", kMarkdownHead + numbered_rows(9, "| {} | n{} |") + "\n", "none"},
        {"markdown short separator", "| id | name |\n|--|--|\n" + numbered_rows(9, "| {} | n{} |"), "none"},
        {"sqlite", sqlite10, "2+10+0"},
        {"sqlite footers", sqlite10 + "Total 12 rows\nshown 10\n", "2+10+2"},
        // A single-cell row ends an aligned report's rows, so only the SQLite
        // shape could take these.
        {"sqlite one single-cell row", sqlite3 + "x\n" + sqlite7, "2+11+0"},
        {"sqlite log row", sqlite3 + "ERROR x\n" + sqlite7, "none"},
        {"sqlite path-location row", sqlite3 + "src/a.c:1:2\n" + sqlite7, "none"},
        // Multi-cell rows must be at least three quarters of the rows.
        {"sqlite 9 of 12 rows multi-cell",
         kSqliteHead + numbered_rows(6, "{}  n{}") + "x\ny\nz\n" + numbered_rows(3, "{}  m{}"), "2+12+0"},
        {"sqlite 9 of 13 rows multi-cell",
         kSqliteHead + numbered_rows(6, "{}  n{}") + "w\nx\ny\nz\n" + numbered_rows(3, "{}  m{}"), "none"},
    });
}

TEST(TableDetector, AlignedReports) {
    const std::string plain = numbered_rows(9, "web-{}  Running  pod{}");
    expect_shapes({
        {"separator", kPodsHeader + "----  ------  ---\n" + kPods, "2+9+0"},
        {"separator with paths in rows", "NAME  STATUS\n====  ======\n" + numbered_rows(9, "x{}  y{} /a/b"), "2+9+0"},
        {"no separator, no evidence", kPodsHeader + plain, "none"},
        {"numbers dominate", kPodsHeader + kPods, "1+9+0"},
        {"title above", "Benchmark results\n" + kPodsHeader + plain, "2+9+0"},
        {"divider above", "=====\n" + kPodsHeader + plain, "2+9+0"},
        {"index column", "#  NAME  STATE\n" + numbered_rows(9, "{}  job{}  done"), "1+9+0"},
        {"index column, paths", "#  NAME  PATH\n" + numbered_rows(9, "{}  job{}  /srv/{}"), "none"},
        {"title above, paths", "Disk report\n#  NAME  PATH\n" + numbered_rows(9, "{}  job{}  /srv/{}"), "2+9+0"},
        // A ready count such as "1/1" holds a "/": rows of them are path-heavy.
        {"ratios are path-heavy", "NAME  READY  RESTARTS\n" + numbered_rows(9, "web-{}  1/1  {}"), "none"},
        {"paths on fewer than half the rows",
         "NAME  READY  RESTARTS\n" + numbered_rows(5, "web-{}  ok  {}") + numbered_rows(4, "api-{}  1/1  {}"), "1+9+0"},
        {"header without letters", "1  2  3\n-  -  -\n" + kPods, "none"},
        {"run ends at a blank line", kPodsHeader + kPods + "\nweb-x  Running  1d\n", "1+9+2"},
        {"run ends at a prompt", kPodsHeader + kPods + "$ kubectl  get\n", "1+9+1"},
        {"run ends at a footer", kPodsHeader + kPods + "Total 9 pods\n", "1+9+1"},
        // With 10 rows, 8 sharing the modal cell count suffice and 7 do not.
        {"modal 8 of 10", kPodsHeader + numbered_rows(8, "web-{}  Running  {}d") + "a  1\nb  2\n", "1+10+0"},
        {"modal 7 of 10", kPodsHeader + numbered_rows(7, "web-{}  Running  {}d") + "a  1\nb  2\nc  3\n", "none"},
        {"one more cell than the header", "NAME  AGE\n" + kPods, "1+9+0"},
        {"two more cells than the header", "NAME  AGE\n" + numbered_rows(9, "web-{}  Running  {}d  x"), "none"},
        {"lower header", "KEY  A  B  C  D\nname  state  age\n" + kPods, "2+9+0"},
        {"preamble not safe", "$ kubectl get pods\n" + kPodsHeader + kPods, "none"},
        // The quick tests on headers, footers and prompts see what the full ones see.
        {"no-break space around a header cell", "NAME  \u00a0STATUS  AGE\n" + kPods, "1+9+0"},
        {"header cell with a stranger", "NAME  STA<TUS  AGE\n" + kPods, "none"},
        {"footer word then a no-break space", kPodsHeader + kPods + "total\u00a09\n", "1+9+1"},
        {"footer word run on", kPodsHeader + kPods + "totals 9  x\n", "1+10+0"},
        {"footer word in capitals", kPodsHeader + kPods + "DISPLAYED 9  x\n", "1+9+1"},
        {"prompt behind a no-break space", kPodsHeader + kPods + "\u00a0$ kubectl  get\n", "1+9+1"},
    });
}

TEST(TableDetector, PreambleAndBlockingContext) {
    const std::string eight = numbered_rows(8, "Line {} of prose {}");
    const std::string box_then = kBox9;
    expect_shapes({
        {"title and blank line lead the header", "Query results\n\n" + kPsql, "4+10+1"},
        {"eight prose lines", eight + kPsql, "10+10+1"},
        {"nine prose lines", "One more line\n" + eight + kPsql, "none"},
        {"prompt above", "$ psql -c 'select'\n" + kPsql, "none"},
        {"one-row box above a box of nine",
         kBoxHead + "\xE2\x94\x82 x \xE2\x94\x82 y \xE2\x94\x82\n" + kBoxMid + numbered_rows(9, kBoxRow) + kBoxBottom,
         "5+9+1"},
        {"prose line above markdown", "Top line here\n" + kMarkdownHead + numbered_rows(9, "| {} | {} |"), "3+9+0"},
        {"fence anywhere", kPsql.substr(0, kPsql.size() - 10) + "```\n", "none"},
        {"indented fence", "  ~~~ text\n" + kBox9, "none"},
        {"traceback", box_then + "Traceback (most recent call last):\n", "none"},
        {"python frame", box_then + "  File \"x.py\", line 3\n", "none"},
        // Diagnostics, path locations and numbered code must be at least half
        // of the 13 + n nonblank lines.
        {"13 diagnostics", box_then + numbered_rows(13, "error: e{}"), "none"},
        {"12 diagnostics", box_then + numbered_rows(12, "error: e{}"), "3+9+13"},
        {"13 path locations", box_then + numbered_rows(13, "src/a{}.rs:{}:2 x"), "none"},
        {"12 path locations", box_then + numbered_rows(12, "src/a{}.rs:{}:2 x"), "3+9+13"},
        {"13 numbered code lines", box_then + numbered_rows(13, "{}\tdef f{}():"), "none"},
        {"12 numbered code lines", box_then + numbered_rows(12, "{}\tdef f{}():"), "3+9+13"},
    });
    // The least counts that block, on short texts.
    const std::pair<std::string, bool> counts[] = {
        {"error: a\nerror[E1]: b\nnote: c\nx\ny\n", true},
        {"error: a\nnote: c\nx\ny\nz\n", false},
        {"INFO a\nWARN b\n  at f()\nx\n", true},
        {"src/a.rs:1:2 x\nb.go:3:4 y\nplain\nplain\n", true},
        {"src/a.rs:1:2 x\nplain\nplain\n", false},
        {numbered_rows(8, "{}\tx{} = 1"), true},
        {numbered_rows(7, "{}\tdef f{}():"), false},
        {numbered_rows(8, "{}\tx{}=1"), false},
        {numbered_rows(8, "{}\t@decorator{}") + numbered_rows(8, "plain {} {}"), true},
        {"\n  \n\t\n", true},
    };
    for (const auto& [in, blocked] : counts) {
        const text::LineIndex lines(in);
        EXPECT_EQ(detector::has_hard_blocking_context(model::Lines(lines)), blocked) << in;
    }
}

// The filter declines on the first 24 lines alone when `may_hold_table` says
// no; that must never hide a table the whole text holds.
TEST(TableDetector, FirstLinesNeverHideATable) {
    std::vector<std::string> texts = {
        kPsql,
        numbered_rows(8, "Line {} of prose {}") + kPsql,
        numbered_rows(9, "Line {} of prose {}") + "NAME  SIZE\n----  ----\n" + numbered_rows(30, "f{}  {}"),
        "Benchmark results\nNAME  STATUS  AGE\n" + numbered_rows(40, "web-{}  Running  pod{}"),
        "NAME  AGE\n" + numbered_rows(30, "web-{}  {}d") + "\n" + numbered_rows(5, "x{}  {}"),
    };
    for (const auto& entry : std::filesystem::recursive_directory_iterator(QUORVANE_TEST_DATA)) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file() || !(path.ends_with(".in") || path.find("/refused/") != std::string::npos))
            continue;
        texts.push_back(text::normalize_and_trim_trailing_whitespace(
            test_support::read_test_file(std::filesystem::relative(path, QUORVANE_TEST_DATA).string())));
    }
    std::size_t tables = 0;
    for (const std::string& t : texts) {
        const text::LineIndex index(t);
        const model::Lines lines(index);
        // Blocked or short tables too: the first lines must still show them.
        if (!detector::parse_structured_table(lines) && detector::parse_structured_table_blocks(lines).empty() &&
            !whitespace::parse_whitespace_report(lines))
            continue;
        ++tables;
        EXPECT_TRUE(detector::may_hold_table(lines.first(24))) << t.substr(0, 200);
    }
    EXPECT_GE(tables, 13u);

    const std::string others[] = {
        numbered_rows(30, "2024-05-01T00:00:0{}Z INFO api: request {} done"),
        "commit 0123abc\nAuthor: A B <a@b.c>\nDate:   Mon Jun 26 08:46:00 2024 +0200\n\n" +
            numbered_rows(30, "    line {} {}"),
        "NAME  AGE\n" + numbered_rows(5, "web-{}  {}d") + "\n" + numbered_rows(30, "x {} {}"),
    };
    for (const std::string& t : others) {
        const text::LineIndex index(t);
        EXPECT_FALSE(detector::may_hold_table(model::Lines(index).first(24))) << t.substr(0, 80);
    }
}

}  // namespace
