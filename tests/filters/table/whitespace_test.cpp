#include "filters/table/whitespace.h"

#include <gtest/gtest.h>

#include "table_test_util.h"

namespace {

using filters::table::whitespace::parse_whitespace_report;
using table_test::lines_of;
using table_test::numbered_rows;

const std::string kPods = numbered_rows(9, "web-{}  Running  {}d");
const std::string kPodsHeader = "NAME  STATUS  AGE\n";

struct Case {
    std::string name;
    std::string text;
    std::size_t header, rows, footer;  // rows == 0: refused
};

TEST(WhitespaceReport, Candidates) {
    const Case cases[] = {
        {"separator", kPodsHeader + "----  ------  ---\n" + kPods, 2, 9, 0},
        {"separator with anything in rows", "NAME  STATUS\n====  ======\n" + numbered_rows(9, "x{}  y{} /a/b"), 2, 9, 0},
        {"no separator, no evidence", kPodsHeader + numbered_rows(9, "web-{}  Running  pod{}"), 0, 0, 0},
        {"numbers dominate", kPodsHeader + kPods, 1, 9, 0},
        {"title above", "Benchmark results\n" + kPodsHeader + numbered_rows(9, "web-{}  Running  pod{}"), 2, 9, 0},
        {"divider above", "=====\n" + kPodsHeader + numbered_rows(9, "web-{}  Running  pod{}"), 2, 9, 0},
        {"index column", "#  NAME  STATE\n" + numbered_rows(9, "{}  job{}  done"), 1, 9, 0},
        {"index column, paths", "#  NAME  PATH\n" + numbered_rows(9, "{}  job{}  /srv/{}"), 0, 0, 0},
        {"title above, paths", "Disk report\n#  NAME  PATH\n" + numbered_rows(9, "{}  job{}  /srv/{}"), 2, 9, 0},
        {"eight rows", kPodsHeader + "----  ------  ---\n" + numbered_rows(8, "web-{}  Running  {}d"), 0, 0, 0},
        {"header cell outside the set", "NAME  STATUS!  AGE\n----  ------  ---\n" + kPods, 0, 0, 0},
        {"header without letters", "1  2  3\n-  -  -\n" + kPods, 0, 0, 0},
        {"nine lines", kPodsHeader + numbered_rows(8, "web-{}  Running  {}d"), 0, 0, 0},
        {"run ends at a blank line", kPodsHeader + kPods + "\nweb-x  Running  1d\n", 1, 9, 2},
        {"run ends at a prompt", kPodsHeader + kPods + "$ kubectl  get\n", 1, 9, 1},
        {"run ends at a single cell", kPodsHeader + kPods + "done\nweb  Running  1d\n", 1, 9, 2},
        {"run ends at a footer", kPodsHeader + kPods + "Total 9 pods\n", 1, 9, 1},
        // With 10 rows, 8 sharing the header's cell count suffice and 7 do not.
        {"modal 8 of 10", kPodsHeader + numbered_rows(8, "web-{}  Running  {}d") + "a  1\nb  2\n", 1, 10, 0},
        {"modal 7 of 10", kPodsHeader + numbered_rows(7, "web-{}  Running  {}d") + "a  1\nb  2\nc  3\n", 0, 0, 0},
        {"one more cell than the header", "NAME  AGE\n" + kPods, 1, 9, 0},
        {"two more cells than the header", "NAME  AGE\n" + numbered_rows(9, "web-{}  Running  {}d  x"), 0, 0, 0},
        // Two header positions: the one with more rows wins.
        {"more rows wins", "Results here\n" + kPodsHeader + "----  ------  ---\n" + kPods, 3, 9, 0},
        // The upper header's cell count fits no row; the next line is the header.
        {"lower header", "KEY  A  B  C  D\nname  state  age\n" + kPods, 2, 9, 0},
        {"preamble not safe", "$ kubectl get pods\n" + kPodsHeader + kPods, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto lines = lines_of(c.text);
        table_test::expect_table(parse_whitespace_report(lines), {c.header, c.rows, c.footer}, c.name);
    }
}

}  // namespace
