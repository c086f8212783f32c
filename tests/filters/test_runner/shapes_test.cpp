#include "filters/test_runner/shapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using filters::test_runner::shapes::any_line;

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> out;
    any_line(text, [&](std::string_view line) {
        out.emplace_back(line);
        return false;
    });
    return out;
}

TEST(AnyLine, OneFinalLineFeedIsSetAside) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}},
        {"\n", {}},
        {"\n\n", {"", ""}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\n\n", {"a", ""}},
        {"a\nb", {"a", "b"}},
        {"\na\r\n", {"", "a\r"}},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(lines_of(text), want) << text;
}

TEST(AnyLine, StopsAtTheFirstLineThatAnswersYes) {
    std::vector<std::string> seen;
    bool stopped = any_line("a\nstop\nc\n", [&](std::string_view line) {
        seen.emplace_back(line);
        return line == "stop";
    });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "stop"}));
    EXPECT_FALSE(any_line("a\nb", [](std::string_view) { return false; }));
}

}  // namespace
