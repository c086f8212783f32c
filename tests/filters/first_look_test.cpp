#include "filters/first_look.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "filters/bundle_report/bundle_report.h"
#include "filters/filters.h"
#include "filters/owned_phrases.h"
#include "support.h"
#include "text.h"

namespace {

using filters::FirstLook;
using filters::Sign;
using filters::SignGroup;
using filters::SignSet;

// Where the sign first occurs, by the plain searches.
std::size_t reference_first(std::string_view text, const Sign& sign) {
    return sign.ignore_case ? text::find_ignore_case(text, sign.literal) : text.find(sign.literal);
}

void expect_like_reference(std::string_view text, const SignSet& set, const std::string& what) {
    const FirstLook look(text, set);
    for (const Sign& sign : set.signs())
        EXPECT_EQ(look.first(sign), reference_first(text, sign))
            << what << ": sign \"" << sign.literal << "\"" << (sign.ignore_case ? " (any case)" : "");
}

// More signs than the scan has groups, short and long, alike and unlike,
// in both letter cases: groups must mix, and every sign must still be
// found where it first stands.
std::vector<Sign> many_signs() {
    return {{"{"},
            {"["},
            {"\x1b"},
            {"\r"},
            {"::"},
            {"##["},
            {"--- "},
            {"info", true},
            {"Error"},
            {"debug", true},
            {"trace", true},
            {"diff --"},
            {"</html>", true},
            {"Exception"},
            {"computing gzip size", true},
            {"Traceback (most recent call last):"},
            {"ab"},
            {"abc"},
            {"abcd"},
            {"ABCDEFGHIJ", true}};
}

TEST(FirstLook, FindsEachSignWhereItFirstStands) {
    const SignSet set(many_signs());
    const std::vector<test_support::Case> rows = {
        {"empty", "", ""},
        {"none of them", "plain words on a line\nand another\n", ""},
        {"at the very start and end", "{ middle ]\n\x1b", ""},
        {"a sign cut by the end", "...computing gzip siz", ""},
        {"case folded only where asked", "INFO Info iNfO ERROR error Error TRACEBACK (MOST RECENT CALL LAST):", ""},
        {"repeats: the first one counts", "x::y::z ab ab abc abcd abcd --- --- ", ""},
        {"overlapping runs", "-------- --- ##[##[ aaabababcabcd", ""},
        {"a long sign after its prefix", "Traceback (most recent Traceback (most recent call last):", ""},
        {"mixes of the signs' bytes", "dEbug Exceptio Exceptiom </htm </HTML> diff -- diff --x abcdefghiJ", ""},
        {"letters of other case in an exact sign", "error ERROR Error exception EXCEPTION Exception", ""},
    };
    for (const auto& row : rows) expect_like_reference(row.in, set, row.name);
}

TEST(FirstLook, AgreesWithThePlainSearchOnRandomText) {
    // Text drawn from the signs' own bytes, so that windows of mixed signs
    // are everywhere, at lengths around the scan's blocks.
    const SignSet set(many_signs());
    const std::string alphabet = "{[\x1b\r:#- infoINFOErrorExcepbugacdgzsh<>/ABCDEFGHIJtT\n";
    std::mt19937 random(29);
    for (int round = 0; round < 300; ++round) {
        std::string text(static_cast<std::size_t>(random() % 300), ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        // Now and then a whole sign, so that late signs are found too.
        const auto signs = set.signs();
        for (int k = 0; k < 3; ++k) {
            const Sign& sign = signs[random() % signs.size()];
            text.insert(random() % (text.size() + 1), sign.literal);
        }
        expect_like_reference(text, set, "round " + std::to_string(round));
    }
}

TEST(FirstLook, GroupsHoldEverySignOnce) {
    const SignSet set(many_signs());
    std::vector<int> seen(set.signs().size(), 0);
    for (unsigned g = 0; g < scan::PlaceTable::kGroups; ++g)
        for (std::uint16_t i : set.members(g)) {
            ASSERT_LT(i, seen.size());
            EXPECT_EQ(set.group(i), g);
            ++seen[i];
        }
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], 1) << set.signs()[i].literal;
}

TEST(FirstLook, GroupHoldsWhenOneSignOccursOrNoneWasLookedFor) {
    const SignSet set({{"alpha"}, {"beta", true}});
    const Sign alpha{"alpha"}, beta{"beta", true}, gamma{"gamma"};
    const Sign alpha_beta[] = {alpha, beta};
    const Sign only_alpha[] = {alpha};
    const Sign only_gamma[] = {gamma};
    const SignGroup either{alpha_beta}, first{only_alpha}, unknown{only_gamma}, nothing{};
    const FirstLook look("a BETA b", set);
    EXPECT_TRUE(look.holds(either));
    EXPECT_FALSE(look.holds(first));
    EXPECT_TRUE(look.holds(unknown)) << "a sign not looked for may be there";
    EXPECT_TRUE(look.holds(nothing));
    EXPECT_EQ(look.first(gamma), std::nullopt);
    EXPECT_EQ(look.first(alpha), FirstLook::npos);
    EXPECT_EQ(look.first(beta), 2u);
    const SignGroup both[] = {either, first};
    EXPECT_FALSE(look.holds_all(both));
    EXPECT_TRUE(FirstLook::none().holds(first)) << "a look for nothing skips nothing";
}

// Every text the tests keep: the end-to-end cases and the captured tool
// outputs beside the unit tests, normalised as the request does.
std::vector<std::pair<std::string, std::string>> kept_texts() {
    std::vector<std::pair<std::string, std::string>> texts;
    const std::filesystem::path root(QUORVANE_TEST_DATA);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const std::filesystem::path& path = entry.path();
        const bool case_input = path.extension() == ".in";
        const bool tool_output = path.parent_path().filename() == "data";
        if (!case_input && !tool_output) continue;
        const std::string relative = std::filesystem::relative(path, root).string();
        std::string t = test_support::read_test_file(relative);
        if (!text::is_valid_utf8(t)) continue;
        texts.emplace_back(relative, text::normalize_and_trim_trailing_whitespace(t));
    }
    return texts;
}

// The declared signs are necessary: on every kept text, a family whose
// signs are absent declines (or gives nothing smaller, which the pipeline
// drops the same way), whether or not the pipeline would hand it that text.
TEST(DeclaredSigns, FamiliesDeclineEveryKeptTextThatLacksThem) {
    std::size_t skipped = 0;
    for (const auto& [name, t] : kept_texts()) {
        const text::LineIndex lines(t);
        const FirstLook look = filters::first_look(t);
        for (const filters::FilterEntry& entry : filters::filter_table()) {
            if (look.holds_all(entry.signs)) continue;
            ++skipped;
            const filters::Attempt attempt = entry.filter({t, lines, look});
            EXPECT_FALSE(attempt && text::is_smaller_output(*attempt, t)) << entry.name << " accepts " << name;
        }
        for (const filters::FilterEntry& entry : filters::filter_table())
            if (entry.stop_after && !look.holds_all(entry.stop_signs)) {
                EXPECT_FALSE(filters::bundle_report::is_diagnostic_bundle_report_output(t)) << name;
            }
    }
    EXPECT_GT(skipped, 0u);
}

// The pipeline as a family that runs it again calls it, on texts whose
// families are skipped by their signs: the same output either way.
TEST(DeclaredSigns, PipelineSkippingOffGivesTheSameOutput) {
    for (const auto& [name, t] : kept_texts())
        EXPECT_EQ(filters::apply_filter_pipeline_excluding(std::string_view(t), {"mixed-transcript"},
                                                           filters::Skipping::off),
                  filters::apply_filter_pipeline_excluding(std::string_view(t), {"mixed-transcript"}))
            << name;
}

TEST(DeclaredSigns, EveryGroupHasSignsAndTheLookSeesThem) {
    for (const filters::FilterEntry& entry : filters::filter_table())
        for (std::span<const SignGroup> groups : {entry.signs, entry.stop_signs})
            for (const SignGroup& group : groups) {
                EXPECT_FALSE(group.any_of.empty()) << entry.name;
                for (const Sign& sign : group.any_of) {
                    EXPECT_FALSE(sign.literal.empty()) << entry.name;
                    EXPECT_NE(filters::table_signs().index_of(sign), FirstLook::npos) << entry.name;
                }
            }
}

TEST(OwnedPhrases, ListsComeFromTheTable) {
    using filters::owned::Rule;
    for (std::string_view p : filters::owned::kLogGuardPhrases)
        EXPECT_TRUE(filters::owned::in_table(p, Rule::anywhere_any_case)) << p;
    for (std::string_view p : filters::owned::kTestClaims)
        EXPECT_TRUE(filters::owned::in_table(p, Rule::anywhere_any_case)) << p;
    for (std::string_view p : filters::owned::kForeignLineStarts)
        EXPECT_TRUE(filters::owned::in_table(p, Rule::line_start)) << p;
    std::set<std::pair<std::string_view, Rule>> seen;
    for (const auto& phrase : filters::owned::kPhrases)
        EXPECT_TRUE(seen.emplace(phrase.text, phrase.rule).second) << phrase.text << " twice";
}

}  // namespace
