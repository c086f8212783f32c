#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>

#include "text.h"

namespace {

constexpr std::array<text::SearchWord, 6> kWords = {{
    {"panic", 0, false},
    {"diff --git ", 0, false},
    {"api_key", 1, true},
    {"token=", 1, true},
    {"stack trace", 2, false},
    {"http://", 2, false},
}};
constexpr text::WordSet<kWords.size()> kSet(kWords);

char fold(const text::SearchWord& w, char c) {
    c = text::to_lower_ascii(c);
    return w.separators_as_underscore && (c == '-' || c == '.') ? '_' : c;
}

// Every word tried at every position.
std::uint32_t naive_groups(std::string_view s) {
    std::uint32_t found = 0;
    for (const text::SearchWord& w : kWords)
        for (std::size_t start = 0; start + w.text.size() <= s.size(); ++start) {
            std::size_t k = 0;
            while (k < w.text.size() && fold(w, s[start + k]) == w.text[k]) ++k;
            if (k == w.text.size()) found |= 1u << w.group;
        }
    return found;
}

TEST(WordSet, GroupsFound) {
    const std::pair<std::string, std::uint32_t> cases[] = {
        {"", 0},
        {"pani", 0},
        {"panic", 1},
        {"kernel PANIC!", 1},
        {"DIFF --GIT a/x", 1},
        {"diff --git", 0},  // the blank belongs to the word
        {"API-KEY=1", 2},
        {"x.api.key", 2},
        {"api key", 0},
        {"diff __git ", 0},  // only the separator words read "-" as "_"
        {"TOKEN=abc", 2},
        {"tokens=3", 0},
        {"see http://x for the stack trace", 4},
        {"panic token= stack trace", 7},
        {"stack  trace", 0},
        {"\xC3\xA9panic\xC3\xA9", 1},
    };
    for (const auto& [s, want] : cases) {
        EXPECT_EQ(kSet.groups_in(s, 0), want) << s;
        EXPECT_EQ(kSet.found_in(s), want != 0) << s;
    }
    // A stop group ends the pass at its first word.
    EXPECT_EQ(kSet.groups_in("panic token= stack trace", 1u << 1), 3u);
}

// Texts built from the words' own pieces, so that near misses, overlaps and
// words at either end are frequent.
TEST(WordSet, AgreesWithTryingEveryPosition) {
    const std::array<std::string_view, 16> pieces = {
        "pan", "ic", "PANIC", "diff",  " --", "git ",        "api",    "_",
        "-",   ".",  "key",   "token", "=",   "stack trace", "http:/", "/",
    };
    std::mt19937 rng(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 8);
        for (int i = 0; i < n; ++i) {
            s += pieces[rng() % pieces.size()];
            if (rng() % 3 == 0) s += static_cast<char>('a' + rng() % 26);
        }
        ASSERT_EQ(kSet.groups_in(s, 0), naive_groups(s)) << s;
    }
}

TEST(WordSet, ShortWordsArePossible) {
    constexpr auto set = text::WordSet<2>::of({"ab", "xyz"});
    EXPECT_TRUE(set.found_in("zzAB"));
    EXPECT_TRUE(set.found_in("xYz"));
    EXPECT_FALSE(set.found_in("a b xy"));
}

}  // namespace
