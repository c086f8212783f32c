#include "text.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::string in;
    std::string want;
};

TEST(Normalize, LineEndsAndTrailingWhitespace) {
    const Case cases[] = {
        {"", ""},
        {"\n", "\n"},
        {" \n\t", "\n"},
        {"\r", "\n"},
        {"x\r\ny", "x\ny"},
        {"a \r\nb\t\r\r\n", "a\nb\n\n"},
        {"  a  ", "  a"},
        {"\xC2\xA0", ""},                        // no-break space
        {"a\xE2\x80\x83\xE3\x80\x80\n", "a\n"},  // em space, ideographic space
        {"a\xE2\x80\x8B", "a\xE2\x80\x8B"},      // zero-width space is not White_Space
        {"a\v\f\xC2\x85", "a"},
        {"\r\r\n", "\n\n"},
        {"caf\xC3\xA9 ", "caf\xC3\xA9"},
    };
    for (const auto& c : cases) EXPECT_EQ(text::normalize_and_trim_trailing_whitespace(c.in), c.want) << c.in;
}

TEST(CollapseBlankLines, Limits) {
    struct L {
        std::string in;
        std::uint64_t limit;
        std::string want;
    };
    const L cases[] = {
        {"a\n\n\nb\n", 1, "a\n\nb\n"},
        {"a\n\n", 1, "a\n"},
        {"\n", 1, "\n"},
        {"\n\n\n", 1, "\n"},
        {"a", 1, "a"},
        {"a\n\n\n", 2, "a\n\n"},
        {"\n", 0, ""},
        {"a\n\nb", 0, "a\nb"},
        {"a\n \n\nb", 0, "a\n \nb"},
        {"", 5, ""},
        {"a\n\n\n\nb\n", UINT64_MAX, "a\n\n\n\nb\n"},
        {"a\r\nb", 1, "a\nb"},
        {"a\r", 1, "a\r"},
        {"\n\n\na\n", 1, "\na\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::collapse_blank_lines(c.in, c.limit), c.want) << "input: " << c.in << " limit " << c.limit;
}

TEST(SizeRule, BytesThenCharacters) {
    EXPECT_TRUE(text::is_smaller_output("ab", "abc"));
    EXPECT_FALSE(text::is_smaller_output("abc", "ab"));
    EXPECT_FALSE(text::is_smaller_output("abc", "abc"));
    EXPECT_FALSE(text::is_smaller_output("xyz", "abc"));
    EXPECT_TRUE(text::is_smaller_output("\xC3\xA9", "ab"));  // same bytes, one character
    EXPECT_FALSE(text::is_smaller_output("ab", "\xC3\xA9"));
}

TEST(ChooseSmallerLines, KeepsCurrentOnTie) {
    std::vector<std::string> current{"a", "b"};
    EXPECT_EQ(text::choose_smaller_lines(current, {"a\nb"}), current);
    EXPECT_EQ(text::choose_smaller_lines(current, {}), std::vector<std::string>{});
    EXPECT_EQ(text::choose_smaller_lines({}, {}), std::vector<std::string>{});
    EXPECT_EQ(text::choose_smaller_lines(current, {"ab"}), std::vector<std::string>{"ab"});
    EXPECT_EQ(text::choose_smaller_lines({"ab"}, {"\xC3\xA9"}), std::vector<std::string>{"\xC3\xA9"});
}

TEST(Numbers, Unsigned) {
    EXPECT_EQ(text::parse_unsigned("0"), 0u);
    EXPECT_EQ(text::parse_unsigned("+2"), 2u);
    EXPECT_EQ(text::parse_unsigned("007"), 7u);
    EXPECT_EQ(text::parse_unsigned("18446744073709551615"), UINT64_MAX);
    for (const char* bad :
         {"", "+", "-", "++2", "-0", "-1", " 2", "2 ", "1_000", "18446744073709551616", "99999999999999999999", "0x10"})
        EXPECT_FALSE(text::parse_unsigned(bad)) << bad;
}

TEST(Numbers, Decimal) {
    struct D {
        const char* in;
        double want;
    };
    for (auto [in, want] :
         {D{"1", 1}, D{"-2.5", -2.5}, D{"+3", 3}, D{"3.", 3}, D{".5", 0.5}, D{"1e3", 1000}, D{"1.5E-2", 0.015}})
        EXPECT_EQ(text::parse_decimal(in), want) << in;
    for (const char* bad : {"", ".", "+", "e5", "1e", "1e+", "0x1p3", " 1", "1 ", "inf", "nan", "1,5"})
        EXPECT_FALSE(text::parse_decimal(bad)) << bad;
    EXPECT_TRUE(text::parse_decimal("Infinity", true));
    EXPECT_TRUE(text::parse_decimal("-inf", true));
    EXPECT_TRUE(text::parse_decimal("NaN", true));
}

TEST(Utf8, Validation) {
    for (const char* good : {"", "plain ascii text, long enough for the fast path", "caf\xC3\xA9", "\xE2\x80\xA6",
                             "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_TRUE(text::is_valid_utf8(good)) << good;
    for (const char* bad :
         {"\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "abcdefgh\x80", "\xE2\x80"})
        EXPECT_FALSE(text::is_valid_utf8(bad)) << bad;
}

TEST(Whitespace, TrimAndSplit) {
    EXPECT_EQ(text::trim("\xC2\xA0 a b \t"), "a b");
    EXPECT_EQ(text::trim_start("  a "), "a ");
    EXPECT_EQ(text::split_whitespace(" a\xE2\x80\x83"
                                     "b  c "),
              (std::vector<std::string_view>{"a", "b", "c"}));
    auto parts = text::split_once_whitespace("head \t rest of it");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->first, "head");
    EXPECT_EQ(parts->second, "rest of it");
    EXPECT_FALSE(text::split_once_whitespace("single"));
    EXPECT_EQ(text::take_chars("\xC3\xA9t\xC3\xA9", 2), "\xC3\xA9t");
}

TEST(Lines, SplitAndIterate) {
    auto l = text::split_lines("a\nb\n");
    EXPECT_EQ(l.lines, (std::vector<std::string_view>{"a", "b"}));
    EXPECT_TRUE(l.final_newline);
    EXPECT_EQ(text::join_lines(l.lines, l.final_newline), "a\nb\n");
    EXPECT_EQ(text::split_lines("").lines.size(), 1u);
    EXPECT_EQ(text::lines_of("a\r\nb\r"), (std::vector<std::string_view>{"a", "b\r"}));
    EXPECT_EQ(text::lines_of("a\n\n"), (std::vector<std::string_view>{"a", ""}));
    EXPECT_TRUE(text::lines_of("").empty());
}

TEST(Lines, IndexAgreesWithSplit) {
    for (std::string_view t : {"", "\n", "\n\n", "a", "a\n", "a\n\n", "\na", "a\nb", "a\nb\n", "a\n\nb\n\n\n"}) {
        const text::LineIndex index(t);
        const text::Lines split = text::split_lines(t);
        EXPECT_EQ(index.to_lines().lines, split.lines) << text::debug_quote(t);
        EXPECT_EQ(index.final_newline(), split.final_newline) << text::debug_quote(t);
        std::vector<std::string_view> walked(index.begin(), index.end());
        EXPECT_EQ(walked, split.lines) << text::debug_quote(t);
    }
}

// Offsets held in fewer low bits than a text needs, as they are for a
// text of 4 GiB or more: every line, start and line lookup must agree
// with the plain split, also where one long line passes over several
// changes of the high bits at once.
TEST(Lines, IndexWithCutOffsetsAgreesWithSplit) {
    const std::string long_line(100, 'x');
    const std::vector<std::string> texts = {
        "", "\n", "a\nbb\nccc\ndddd\neeeee\n", "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n", "a\n" + long_line + "\nb\n\nc",
        long_line + "\n" + long_line, "x\ny\n" + long_line + long_line + "\n\nend\n"};
    for (const std::string& t : texts) {
        const text::Lines split = text::split_lines(t);
        std::vector<std::size_t> starts;
        for (std::string_view line : split.lines) starts.push_back(static_cast<std::size_t>(line.data() - t.data()));
        for (unsigned bits : {1u, 2u, 3u, 5u, 7u, 32u}) {
            const text::LineIndex index(t, bits);
            SCOPED_TRACE(text::debug_quote(t) + " bits " + std::to_string(bits));
            ASSERT_EQ(index.size(), split.lines.size());
            EXPECT_EQ(index.final_newline(), split.final_newline);
            for (std::size_t i = 0; i < index.size(); ++i) {
                EXPECT_EQ(index.start(i), starts[i]) << i;
                EXPECT_EQ(index[i], split.lines[i]) << i;
            }
            for (std::size_t offset = 0; offset <= t.size() + 2; ++offset) {
                const std::size_t want =
                    static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
                EXPECT_EQ(index.line_at(offset), want) << offset;
            }
            EXPECT_EQ(index.line_at(static_cast<std::size_t>(-1)), index.size() - 1);
        }
    }
}

TEST(Helpers, CaseTemplatesAnsi) {
    EXPECT_EQ(text::find_ignore_case("Hello World", "WORLD"), 6u);
    EXPECT_TRUE(text::starts_with_ignore_case("ERROR: x", "error"));
    EXPECT_EQ(text::format("… {} stack frame{} omitted", 3, text::plural(3)), "… 3 stack frames omitted");
    EXPECT_EQ(text::format("{}-{}", "a"), "a-{}");
    EXPECT_EQ(text::strip_ansi("\x1b[31mred\x1b[0m \x1b(B x\x1b[12"), "red \x1b(B x");
    EXPECT_EQ(text::strip_ansi("end\x1b"), "end\x1b");
    EXPECT_EQ(text::debug_quote("a\"b\\c\n\t\r\x01"), "\"a\\\"b\\\\c\\n\\t\\r\\u{1}\"");
    EXPECT_EQ(text::drop_blank_and_adjacent_duplicates({"a", "a", "", "b", " ", " ", "a"}),
              (std::vector<std::string>{"a", "b", " ", "a"}));
    EXPECT_EQ(text::normalize_level("warning"), "WARN");
    EXPECT_EQ(text::normalize_level("Critical"), "CRITICAL");
    EXPECT_FALSE(text::normalize_level("verbose"));
}

TEST(Helpers, FindIgnoreCaseAcrossLongTexts) {
    // Every start position, so that matches fall on and across the
    // boundaries of the sixteen-byte steps, up to the last possible one.
    for (std::size_t len : {3u, 17u, 40u, 100u}) {
        for (std::size_t at = 0; at + 3 <= len; ++at) {
            std::string hay(len, 'x');
            hay.replace(at, 3, "aBc");
            EXPECT_EQ(text::find_ignore_case(hay, "AbC"), at) << len << " " << at;
            EXPECT_EQ(text::find_ignore_case(hay, "abc", at), at);
            EXPECT_EQ(text::find_ignore_case(hay, "abc", at + 1), std::string_view::npos);
            EXPECT_EQ(text::find_ignore_case(hay, "xabc"), at == 0 ? std::string_view::npos : at - 1);
        }
    }
    // First two bytes match everywhere; only the last start completes.
    std::string near(64, ' ');
    for (std::size_t i = 0; i + 1 < near.size(); i += 2) near.replace(i, 2, "aB");
    near += "!";
    EXPECT_EQ(text::find_ignore_case(near, "ab!"), 62u);
    EXPECT_EQ(text::find_ignore_case(near, "abX"), std::string_view::npos);
    // Only ASCII letters fold; other bytes match themselves.
    const std::string mixed = std::string(30, '.') + "[WARN] \xC3\x89t\xC3\xA9 @Home" + std::string(30, '.');
    EXPECT_EQ(text::find_ignore_case(mixed, "[warn]"), 30u);
    EXPECT_EQ(text::find_ignore_case(mixed, "@home"), 30u + 13u);
    EXPECT_EQ(text::find_ignore_case(mixed, "\xC3\xA9T"), std::string_view::npos);
    EXPECT_EQ(text::find_ignore_case(mixed, "\xC3\x89T\xC3\xA9"), 37u);
    EXPECT_EQ(text::find_ignore_case(mixed, "\xC3\xA9t\xC3\xA9"), std::string_view::npos);  // no folding of É
    EXPECT_EQ(text::find_ignore_case(mixed, "{warn]"), std::string_view::npos);
    EXPECT_EQ(text::find_ignore_case(mixed, "."), 0u);
    EXPECT_EQ(text::find_ignore_case(mixed, "", mixed.size()), mixed.size());
    EXPECT_EQ(text::find_ignore_case(mixed, "..", std::string_view::npos), std::string_view::npos);
    EXPECT_EQ(text::find_ignore_case("ab", "abc"), std::string_view::npos);
}

// The fingerprint scan never misses a print and reports the groups that
// may start at a hit; compared here with a byte-by-byte reading.
TEST(Helpers, FingerprintScanMatchesBytewiseReading) {
    constexpr std::array<text::FingerprintSet::Print, 3> prints = {{
        {{"l", "o", "c", "k", "f", "i", "l", "e"}, 0},
        {{"v", "0123456789", ".", "", "", "", "", ""}, 1},  // "v1." and any five bytes
        {{"\xE2", "\x9E", "\xA4", " ", "y", "n", "", ""}, 2},
    }};
    constexpr text::FingerprintSet set(prints);
    auto hits = [&](std::string_view s) {
        std::vector<std::pair<std::size_t, unsigned>> out;
        for (auto hit = set.next(s, 0); hit; hit = set.next(s, hit->at + 1)) out.emplace_back(hit->at, hit->groups);
        return out;
    };
    for (std::size_t len : {8u, 31u, 39u, 40u, 41u, 100u}) {
        for (std::size_t at = 0; at + 8 <= len; ++at) {
            std::string s(len, 'x');
            s.replace(at, 8, "LockFile");
            EXPECT_EQ(hits(s), (std::vector<std::pair<std::size_t, unsigned>>{{at, 1u}})) << len << " " << at;
        }
        // A print whose last places allow any byte matches up to the end.
        std::string tail(len, 'x');
        tail.replace(len - 3, 3, "V7.");
        EXPECT_EQ(hits(tail), (std::vector<std::pair<std::size_t, unsigned>>{{len - 3, 2u}})) << len;
    }
    EXPECT_EQ(hits(std::string(70, ' ') + "\xE2\x9E\xA4 YN0000"),
              (std::vector<std::pair<std::size_t, unsigned>>{{70u, 4u}}));
    // A window that runs past the end allows any byte there; one that ends
    // inside the text must hold every byte.
    EXPECT_EQ(hits(std::string(100, 'x') + "lockfil"),
              (std::vector<std::pair<std::size_t, unsigned>>{{100u, 1u}, {106u, 1u}}));
    EXPECT_TRUE(hits(std::string(100, 'x') + "lockfil!").empty());
    EXPECT_TRUE(hits("").empty());
}

}  // namespace

namespace {

TEST(LogGuards, SecretLikeKey) {
    struct S {
        const char* line;
        bool secret;
    };
    const S cases[] = {
        {"db password=hunter2", true},
        {"api-key=abc", true},
        {"X-Api.Key: abc", true},
        {"token=abc", true},
        {"token: abc", false},
        {"refreshing token cache", false},
        {"Authorization: Bearer x", true},
        {"AWS_ACCESS_KEY_ID=x", true},
        {"heartbeat ok", false},
        {"client_secret", true},
        {"private-key loaded", true},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(text::has_secret_like_key(c.line), c.secret) << c.line;
}

}  // namespace
