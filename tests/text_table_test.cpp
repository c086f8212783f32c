#include "text.h"

#include <gtest/gtest.h>

namespace {

TEST(UnicodeClasses, AlphabeticAndNumeric) {
    struct Case {
        char32_t c;
        bool alphabetic;
        bool alphanumeric;
    };
    const Case cases[] = {
        {U'a', true, true},       {U'Z', true, true},       {U'7', false, true}, {U'_', false, false},
        {U' ', false, false},     {U'-', false, false},     {0xE9, true, true},  // é
        {0x3A9, true, true},                                                     // Greek capital omega
        {0x4E2D, true, true},                                                    // CJK ideograph
        {0x93E, true, true},     // Devanagari vowel sign: Other_Alphabetic, not a letter category
        {0x301, false, false},   // combining acute accent
        {0x661, false, true},    // Arabic-Indic digit one
        {0x216B, true, true},    // Roman numeral twelve (letter number)
        {0xB2, false, true},     // superscript two
        {0xBD, false, true},     // vulgar fraction one half
        {0xB7, false, false},    // middle dot
        {0x2022, false, false},  // bullet
        {0x2500, false, false},  // box-drawing horizontal
        {0x1D7CE, false, true},  // mathematical bold digit zero
        {0x10FFFF, false, false}, {0x110000, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::is_alphabetic(c.c), c.alphabetic) << std::hex << static_cast<std::uint32_t>(c.c);
        EXPECT_EQ(text::is_alphanumeric(c.c), c.alphanumeric) << std::hex << static_cast<std::uint32_t>(c.c);
    }
}

TEST(Words, AnyWordSeesThePiecesOfSplitWhitespace) {
    const char* cases[] = {
        "",
        "   ",
        "one",
        "  two words  ",
        "tab\tand\nline",
        ("nbsp\xC2\xA0"
         "between"),
        "ideographic\xE3\x80\x80space",
        "caf\xC3\xA9 \xE2\x98\x95",
        "trailing ",
    };
    for (const char* s : cases) {
        static std::vector<std::string> seen;
        seen.clear();
        EXPECT_FALSE(text::any_word(s, [](std::string_view w) {
            seen.emplace_back(w);
            return false;
        })) << s;
        std::vector<std::string> want;
        for (std::string_view w : text::split_whitespace(s)) want.emplace_back(w);
        EXPECT_EQ(seen, want) << s;
    }
    // Stops at the first word that answers.
    EXPECT_TRUE(text::any_word("a bb ccc", [](std::string_view w) { return w.size() == 2; }));
    EXPECT_FALSE(text::any_word("a ccc", [](std::string_view w) { return w.size() == 2; }));
}

TEST(Words, SeverityWordsAreWholeLetterRuns) {
    struct Case {
        const char* text;
        bool want;
    };
    const Case cases[] = {
        {"2 errors found", true},
        {"Build FAILED", true},
        {"warn: disk", true},
        {"error_code=3", true},
        {"errors=0", true},
        {"x.Exception:", true},
        {"TRACEBACK", true},
        {"critical", true},
        {"terror", false},
        {"failover", false},
        {"warned", false},
        {"errorerror", false},
        {"err", false},
        {"caf\xC3\xA9"
         "error",
         true},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(text::has_severity_word(c.text), c.want) << c.text;
}

}  // namespace
