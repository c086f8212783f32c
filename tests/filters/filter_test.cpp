#include "filters/filter.h"

#include <gtest/gtest.h>

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

}  // namespace
