// Real captures that hold a table, or look like one, but that the filter
// must leave alone: the context (a traceback, a fenced block, source code,
// log lines) or the rows (paths, no numbers) rule a table summary out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "filters/table/classifiers.h"
#include "filters/table/detector.h"
#include "filters/table/reducer.h"
#include "filters/table/whitespace.h"
#include "table_test_util.h"

namespace {

namespace table = filters::table;

std::string read_normalized(const std::string& name) {
    std::ifstream in(std::string(QUORVANE_TEST_DATA) + "/filters/table/refused/" + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return text::normalize_and_trim_trailing_whitespace(ss.str());
}

TEST(TableRefused, EveryCaptureIsLeftAlone) {
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QUORVANE_TEST_DATA) + "/filters/table/refused")) {
        const std::string input = read_normalized(entry.path().filename().string());
        ASSERT_FALSE(input.empty()) << entry.path();
        EXPECT_FALSE(table::reducer::try_compress_table_output(input)) << entry.path();
        ++seen;
    }
    EXPECT_GE(seen, 6u);
}

TEST(TableRefused, TheBlockingContextDoesTheWork) {
    // Each holds a table that the shapes alone would take.
    for (const char* name : {"box_then_traceback.txt", "fenced_box.txt"}) {
        const auto lines = table_test::lines_of(read_normalized(name));
        EXPECT_TRUE(table::detector::has_hard_blocking_context(lines)) << name;
        const auto blocks = table::detector::parse_structured_table_blocks(lines);
        ASSERT_FALSE(blocks.empty()) << name;
        EXPECT_GT(blocks.front().rows.size(), 8u) << name;
    }
    const auto log = table_test::lines_of(read_normalized("logging_report.txt"));
    EXPECT_TRUE(table::detector::has_hard_blocking_context(log));
    EXPECT_TRUE(table::whitespace::parse_whitespace_report(log));
    EXPECT_TRUE(table::detector::has_hard_blocking_context(table_test::lines_of(read_normalized("numbered_source.txt"))));
}

TEST(TableRefused, PathHeavyReport) {
    // Sizes make it numeric enough; its paths are what refuse it.
    const auto lines = table_test::lines_of(read_normalized("path_report.txt"));
    const auto rows = std::span<const std::string_view>(lines.lines).subspan(1);
    EXPECT_TRUE(table::classifiers::has_numeric_report_density(rows));
    EXPECT_TRUE(table::classifiers::has_path_heavy_rows(rows));
    EXPECT_FALSE(table::whitespace::parse_whitespace_report(lines));
}

}  // namespace
