#include "filters/filter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

TEST(FilterKit, OmissionMarkerPlural) {
    EXPECT_EQ(filters::omission_marker(1, "table row"), "… 1 table row omitted");
    EXPECT_EQ(filters::omission_marker(0, "table row"), "… 0 table rows omitted");
    EXPECT_EQ(filters::omission_marker(2, ""), "… 2 omitted");
    EXPECT_EQ(filters::omission_marker(18446744073709551615ull, "context line", ""),
              "… 18446744073709551615 context lines");
}

TEST(FilterKit, SummaryWriterDropsRepeatsAndKeepsOnlySmaller) {
    filters::SummaryWriter w;
    for (std::string_view line : {"head", "", "a", "a", "b", "a"}) w.add_unless_blank_or_repeat(line);
    w.add_omission(2, "line");
    EXPECT_EQ(w.line_count(), 5u);
    EXPECT_EQ(w.last_line(), "… 2 lines omitted");
    EXPECT_EQ(w.take(true), "head\na\nb\na\n… 2 lines omitted\n");

    filters::SummaryWriter small;
    small.add("x");
    EXPECT_EQ(small.take_if_smaller("xy", false), std::optional<std::string>("x"));
    filters::SummaryWriter tie;
    tie.add("xy");
    EXPECT_FALSE(tie.take_if_smaller("xy", false));
}

// A writer bounded by the text it would replace keeps a summary up to that
// text's size (the size rule may still prefer it, by its characters) and
// refuses the first line that would pass it, and every line after.
TEST(FilterKit, BoundedSummaryWriterStopsAtTheInputSize) {
    const std::string input = "0123456789";
    struct Case {
        const char* name;
        std::vector<std::string_view> lines;
        bool exceeded;
        std::optional<std::string> kept;
    };
    const Case cases[] = {
        {"nine bytes", {"abcd", "efgh"}, false, "abcd\nefgh"},
        {"ten bytes, fewer characters", {"\xC3\xA9", "abcdefg"}, false, "\xC3\xA9\nabcdefg"},
        {"ten bytes, as many characters", {"abcd", "efghi"}, false, std::nullopt},
        {"eleven bytes", {"abcd", "efghij"}, true, std::nullopt},
        {"nothing after the refused line", {"abcdefghijk", "a"}, true, std::nullopt},
    };
    for (const Case& c : cases) {
        filters::SummaryWriter w = filters::SummaryWriter::within(input);
        for (std::string_view line : c.lines) w.add(line);
        EXPECT_EQ(w.exceeded(), c.exceeded) << c.name;
        if (c.exceeded) {
            EXPECT_LE(w.bytes(), input.size()) << c.name;
        }
        EXPECT_EQ(w.take_if_smaller(input, false), c.kept) << c.name;
    }

    // An omission marker is measured like any line.
    filters::SummaryWriter wide = filters::SummaryWriter::within(std::string(21, 'x'));
    wide.add("a");
    wide.add_omission(3, "line");
    EXPECT_EQ(wide.take_if_smaller(std::string(21, 'x'), false), std::optional<std::string>("a\n… 3 lines omitted"));
    filters::SummaryWriter narrow = filters::SummaryWriter::within(std::string(20, 'x'));
    narrow.add("a");
    narrow.add_omission(3, "line");
    EXPECT_TRUE(narrow.exceeded());
    EXPECT_EQ(narrow.line_count(), 1u);
}

}  // namespace
