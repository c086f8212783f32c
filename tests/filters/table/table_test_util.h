// Helpers for the table tests: lines of a literal text, and table builders.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <optional>

#include "filters/table/model.h"
#include "text.h"

namespace table_test {

// A text and its lines (one final newline set aside), as the filter sees
// them; the views stay valid as long as the object lives, so it never moves.
struct OwnedLines {
    explicit OwnedLines(std::string s) : text(std::move(s)), lines(text::split_lines(text).lines) {}
    OwnedLines(const OwnedLines&) = delete;
    OwnedLines& operator=(const OwnedLines&) = delete;
    operator std::span<const std::string_view>() const { return lines; }
    std::string_view operator[](std::size_t i) const { return lines[i]; }

    const std::string text;
    const std::vector<std::string_view> lines;
};

inline OwnedLines lines_of(std::string s) { return OwnedLines(std::move(s)); }

// "name-<i>  <i>  ok" rows numbered from 1.
inline std::string numbered_rows(int count, std::string_view row_template) {
    std::string out;
    for (int i = 1; i <= count; ++i) out += text::format(row_template, i, i) + "\n";
    return out;
}

// What a parser should find: line counts of each part; rows == 0 means the
// text must be refused.
struct Expected {
    std::size_t header = 0, rows = 0, footer = 0;
};

inline void expect_table(const std::optional<filters::table::model::StructuredTable>& t, Expected want,
                         const std::string& label) {
    if (want.rows == 0) {
        EXPECT_FALSE(t.has_value()) << label;
        return;
    }
    ASSERT_TRUE(t.has_value()) << label;
    EXPECT_EQ(t->header.size(), want.header) << label;
    EXPECT_EQ(t->rows.size(), want.rows) << label;
    EXPECT_EQ(t->footer.size(), want.footer) << label;
}

}  // namespace table_test
