// Every version of every scan kernel against the portable one, over texts
// of 0 to 200 bytes starting at many alignments (all 64 for the lengths
// around a vector's or a block's edge), so that blocks begin and end
// everywhere around the vectors' edges and the text's end. Each text is a
// heap block of exactly its size: a read past either end fails under the
// sanitizers.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scan.h"
#include "scan/versions.h"

namespace scan {
void PrintTo(const Hits& h, std::ostream* os) { *os << "{" << h.base << ", " << std::hex << h.bits << std::dec << "}"; }
}  // namespace scan

namespace {

using scan::ByteClasses;
using scan::ByteSet;
using scan::Hits;
using scan::Kernels;
using scan::Pair;
using scan::PlaceTable;

constexpr std::size_t kMaxLength = 200, kAlignments = 64;

// The alignments a text of `length` bytes is tried at: all of them when it
// ends near a multiple of 16 (a vector's or a block's edge), else a spread.
std::vector<std::size_t> alignments_for(std::size_t length) {
    const std::size_t past_edge = (length + 2) % 16;
    if (past_edge <= 4) {
        std::vector<std::size_t> all(kAlignments);
        for (std::size_t a = 0; a < kAlignments; ++a) all[a] = a;
        return all;
    }
    return {0, 1, 7, 15, 16, 31, 33, 63};
}

// A text of `length` bytes at `align` bytes into a heap block that ends
// where the text ends.
class Text {
public:
    Text(std::string_view bytes, std::size_t align)
        : block_(new char[align + bytes.size()]), align_(align), size_(bytes.size()) {
        std::fill(block_.get(), block_.get() + align, '\n');
        std::copy(bytes.begin(), bytes.end(), block_.get() + align);
    }
    const char* data() const { return block_.get() + align_; }
    std::size_t size() const { return size_; }
    std::string_view view() const { return {data(), size_}; }

private:
    std::unique_ptr<char[]> block_;
    std::size_t align_, size_;
};

// Bytes that the kernels treat differently: NUL, high bytes, line ends,
// blanks, letters of both cases, and the marks of the tables below.
constexpr std::string_view kAlphabet("\0\x80\xC3\x97\xFF\n\t\r aAeErRmMsS(:\"\\{}[],09", 31);

std::vector<std::string> sample_texts() {
    std::mt19937 random(29);
    std::vector<std::string> texts;
    for (std::size_t length = 0; length <= kMaxLength; ++length) {
        std::string s(length, ' ');
        // Sparse and dense hits alike: the share of alphabet bytes grows
        // with the length's remainder by 4.
        const unsigned dense = static_cast<unsigned>(length % 4);
        for (char& c : s)
            c = random() % 4 <= dense ? kAlphabet[random() % kAlphabet.size()] : static_cast<char>('b' + random() % 3);
        texts.push_back(std::move(s));
    }
    return texts;
}

// All the hits of a search from `from`, block by block, as the filters go on
// from each block's `next()`.
template <class Search>
std::vector<Hits> all_hits(Search search, std::size_t from) {
    std::vector<Hits> out;
    for (Hits h = search(from); h; h = search(h.next())) {
        out.push_back(h);
        if (out.size() > kMaxLength) break;  // a version that never stops
    }
    return out;
}


// The starts of a search that matter: the text's start, the bytes around a
// block's edges and around the end, past the end, and npos.
std::vector<std::size_t> starts_for(std::size_t length) {
    std::vector<std::size_t> starts = {0, 1, 63, 64, 65};
    for (std::size_t back : {0, 1, 2, 7, 8, 63, 64, 65})
        if (length >= back) starts.push_back(length - back);
    starts.push_back(length + 1);
    starts.push_back(scan::npos);
    return starts;
}

// ------------------------------------------------------------ tables --

struct ClassRow {
    const char* name;
    std::vector<ByteSet> sets;
    ByteClasses classes;
};

const std::vector<ClassRow>& class_rows() {
    static const std::vector<ClassRow> rows = [] {
        std::vector<ClassRow> r;
        auto add = [&r](const char* name, std::initializer_list<ByteSet> sets) {
            r.push_back(ClassRow{name, std::vector<ByteSet>(sets), ByteClasses(sets)});
        };
        const ByteSet quote = ByteSet::of("\""), backslash = ByteSet::of("\\"), blanks = ByteSet::of(" \t\n\r");
        add("json structure",
            {quote, backslash, blanks, ByteSet::of("[{"), ByteSet::of("]}"), ByteSet::of(",")});
        add("escaped in json", {ByteSet::range(0, 0x1F) | quote | backslash});
        add("letters digits high",
            {ByteSet::range('a', 'z').with_other_case(), ByteSet::range('0', '9'), ByteSet::range(0x80, 0xFF)});
        add("controls but tab and newline", {(ByteSet::range(0, 0x1F) & ~ByteSet::of("\t\n")) | ByteSet::of("\x7F")});
        add("one byte each", {ByteSet::of("\n"), ByteSet::of(std::string_view("\0", 1)), ByteSet::of("\xFF"),
                              ByteSet::of(":"), ByteSet::of("a"), ByteSet::of("A"), ByteSet::of("\x80"), ByteSet::of("(")});
        add("nothing", {ByteSet()});
        return r;
    }();
    return rows;
}

struct PlaceRow {
    const char* name;
    PlaceTable table;
};

// Patterns written as strings per group: "" leaves a place open.
PlaceTable place_table(std::size_t places, std::initializer_list<std::vector<std::string_view>> groups, bool fold) {
    PlaceTable t(places);
    std::uint8_t bit = 1;
    for (const auto& group : groups) {
        for (std::size_t place = 0; place < places; ++place) {
            const std::string_view bytes = place < group.size() ? group[place] : std::string_view();
            if (bytes.empty()) {
                t.allow_any(place, bit);
                continue;
            }
            for (char c : bytes) t.allow(place, static_cast<unsigned char>(fold ? (c | 0x20) : c), bit);
        }
        bit = static_cast<std::uint8_t>(bit << 1);
    }
    return fold ? t.folded() : t;
}

const std::vector<PlaceRow>& place_rows() {
    static const std::vector<PlaceRow> rows = {
        {"eight places, folded",
         place_table(8, {{"e", "r", "r", "o", "r"}, {"w", "a", "r", "n"}, {"\n", "\n"}, {":", " ", "eE"}}, true)},
        {"eight places, exact",
         place_table(8, {{"R", "U", "N", " "}, {"e", "r", "r", "o", "r", ":"}, {"(", "m"}, {"\xC3", "\x97"}}, false)},
        {"pairs", place_table(2, {{"e", "r"}, {"wmtf", "a"}, {"T-!>#", "h "}, {"\n", ""}, {"Ss", "Cc"}}, false)},
        {"triples", place_table(3, {{"rR", "rR", "oO"}, {"=", "fF", "aA"}, {"*", "* ", "*BWT"}, {"\0\x80", ":", "09"}}, false)},
        {"one place", place_table(1, {{"a"}, {"\n"}, {"\xFF"}}, false)},
        {"five places", place_table(5, {{"a", "b", "a", "b", "a"}, {"", "", "", "", ":"}}, false)},
    };
    return rows;
}

const std::vector<Pair>& pairs() {
    static const std::vector<Pair> rows = {
        Pair::exact('(', 'm'), Pair::exact('\n', '\n'), Pair::ignore_case('e', 'r'), Pair::ignore_case('S', 'c'),
        Pair::exact('\xC3', '\x97'), Pair::exact('\0', ' '),
    };
    return rows;
}

// --------------------------------------------------- the comparisons --

class ScanVersions : public ::testing::Test {
protected:
    // Runs `check(version, text)` for every vector version on every sample
    // text at every alignment.
    template <class Check>
    void for_each_case(Check check) {
        const std::vector<std::string> texts = sample_texts();
        for (const Kernels* version : scan::vector_versions()) {
            SCOPED_TRACE(version->name);
            for (const std::string& bytes : texts)
                for (std::size_t align : alignments_for(bytes.size())) {
                    const Text text(bytes, align);
                    SCOPED_TRACE(::testing::Message() << "length " << bytes.size() << ", align " << align);
                    check(*version, text);
                    if (HasFailure()) return;
                }
        }
    }
};

TEST_F(ScanVersions, ByteHitsAndCountsAgree) {
    const Kernels& ref = scan::kPortable;
    for_each_case([&](const Kernels& k, const Text& t) {
        for (char c : {'\n', '\0', '\xFF', 'a'}) {
            EXPECT_EQ(k.count_byte(t.data(), t.size(), c), ref.count_byte(t.data(), t.size(), c));
            for (std::size_t from : starts_for(t.size()))
                EXPECT_EQ(all_hits([&](std::size_t f) { return k.byte_hits(t.data(), t.size(), c, f); }, from),
                          all_hits([&](std::size_t f) { return ref.byte_hits(t.data(), t.size(), c, f); }, from));
        }
    });
}

TEST_F(ScanVersions, PairHitsAgree) {
    const Kernels& ref = scan::kPortable;
    for_each_case([&](const Kernels& k, const Text& t) {
        for (const Pair& pair : pairs())
            for (std::size_t from : starts_for(t.size()))
                EXPECT_EQ(all_hits([&](std::size_t f) { return k.pair_hits(t.data(), t.size(), pair, f); }, from),
                          all_hits([&](std::size_t f) { return ref.pair_hits(t.data(), t.size(), pair, f); }, from));
    });
}

TEST_F(ScanVersions, FindIgnoreCaseAgrees) {
    const Kernels& ref = scan::kPortable;
    for_each_case([&](const Kernels& k, const Text& t) {
        for (std::string_view needle : {"", "a", "Er", "rR\\", "aAa", "err:", "\"\\:", "\x80\xC3\x97", "e r"})
            for (std::size_t from : starts_for(t.size()))
                EXPECT_EQ(k.find_ignore_case(t.data(), t.size(), needle, from),
                          ref.find_ignore_case(t.data(), t.size(), needle, from))
                    << "needle \"" << needle << "\" from " << from;
    });
}

TEST_F(ScanVersions, ClassHitsAndMasksAgree) {
    const Kernels& ref = scan::kPortable;
    for_each_case([&](const Kernels& k, const Text& t) {
        for (const ClassRow& row : class_rows()) {
            SCOPED_TRACE(row.name);
            for (std::size_t from : starts_for(t.size())) {
                EXPECT_EQ(all_hits([&](std::size_t f) { return k.class_hits(t.data(), t.size(), row.classes, f); }, from),
                          all_hits([&](std::size_t f) { return ref.class_hits(t.data(), t.size(), row.classes, f); }, from));
                if (from <= t.size() + 1) {
                    EXPECT_EQ(k.classify(t.data(), t.size(), from, row.classes).of,
                              ref.classify(t.data(), t.size(), from, row.classes).of)
                        << "at " << from;
                    std::array<scan::ClassMasks, 3> run;
                    k.classify_run(t.data(), t.size(), from, row.classes, run.data(), run.size());
                    for (std::size_t i = 0; i < run.size(); ++i)
                        EXPECT_EQ(run[i].of, ref.classify(t.data(), t.size(), from + i * scan::kBlock, row.classes).of)
                            << "run from " << from << ", block " << i;
                }
            }
        }
    });
}

TEST_F(ScanVersions, PlaceHitsAndGroupsAgree) {
    const Kernels& ref = scan::kPortable;
    for_each_case([&](const Kernels& k, const Text& t) {
        for (const PlaceRow& row : place_rows()) {
            SCOPED_TRACE(row.name);
            for (std::size_t from : starts_for(t.size())) {
                EXPECT_EQ(all_hits([&](std::size_t f) { return k.place_hits(t.data(), t.size(), row.table, f); }, from),
                          all_hits([&](std::size_t f) { return ref.place_hits(t.data(), t.size(), row.table, f); }, from));
                if (from <= t.size() + 1) {
                    EXPECT_EQ(k.place_groups(t.data(), t.size(), from, row.table).of,
                              ref.place_groups(t.data(), t.size(), from, row.table).of)
                        << "at " << from;
                }
            }
        }
    });
}

// ------------------------------------------- the portable reference --

// The portable kernels against one-byte-at-a-time definitions.
TEST(ScanPortable, FindsWhatTheDefinitionsFind) {
    const std::string s = std::string(70, 'x') + "Er\n" + std::string(60, 'y') + "(m" + "\xC3\x97";
    EXPECT_EQ(scan::find_pair(s, Pair::ignore_case('e', 'R')), 70u);
    EXPECT_EQ(scan::find_pair(s, Pair::exact('e', 'r')), scan::npos);
    EXPECT_EQ(scan::find_pair(s, Pair::exact('(', 'm')), 133u);
    EXPECT_EQ(scan::find_pair(s, Pair::exact('\x97', 'x')), scan::npos);  // the last byte starts no pair
    EXPECT_EQ(scan::find_ignore_case(s, "eR\n"), 70u);
    EXPECT_EQ(scan::find_ignore_case(s, "Er\nyy", 71), scan::npos);
    EXPECT_EQ(scan::find_ignore_case(s, "(M\xC3\x97"), 133u);
    EXPECT_EQ(scan::find_ignore_case(s, "(M\xC3\x97!"), scan::npos);  // one byte past the end
    EXPECT_EQ(scan::find_ignore_case(s, "", s.size()), s.size());
    EXPECT_EQ(scan::find_ignore_case(s, "", s.size() + 1), scan::npos);
    EXPECT_EQ(scan::find_byte(s, '\n', 73), scan::npos);
    EXPECT_EQ(scan::find_byte(s, '\n'), 72u);
    EXPECT_EQ(scan::count_byte(s, 'y'), 60u);
    const ByteClasses high{ByteSet::range(0x80, 0xFF)};
    EXPECT_EQ(scan::find_first_in(s, high), 135u);
    EXPECT_EQ(scan::find_first_in(s, high, 137), scan::npos);
    // The positions after a hit are visited in order, across blocks.
    std::vector<std::size_t> seen;
    for (Hits h = scan::class_hits(s, ByteClasses{ByteSet::of("\n(\x97")}, 0); h;
         h = scan::class_hits(s, ByteClasses{ByteSet::of("\n(\x97")}, h.next()))
        for (std::size_t at : h) seen.push_back(at);
    EXPECT_EQ(seen, (std::vector<std::size_t>{72, 133, 136}));
}

// The class tables answer exactly for every byte, however the classes cut
// into rectangles of half-bytes.
TEST(ScanClasses, EveryByteIsInExactlyItsClasses) {
    for (const ClassRow& row : class_rows()) {
        SCOPED_TRACE(row.name);
        for (unsigned b = 0; b < 256; ++b) {
            std::uint8_t expected = 0;
            for (std::size_t k = 0; k < row.sets.size(); ++k)
                if (row.sets[k].contains(static_cast<unsigned char>(b))) expected |= static_cast<std::uint8_t>(1u << k);
            EXPECT_EQ(row.classes.classes_of(static_cast<unsigned char>(b)), expected) << "byte " << b;
        }
    }
}

// A folded table reads a byte as the unfolded one reads it with bit 5 set.
TEST(ScanPlaces, FoldedTableReadsBitFiveSet) {
    PlaceTable plain(3);
    plain.allow(0, static_cast<unsigned char>('e'), 1);
    plain.allow(1, static_cast<unsigned char>('r'), 1);
    plain.allow(2, static_cast<unsigned char>(':' | 0x20), 2);
    plain.allow_any(0, 2);
    plain.allow_any(1, 2);
    const PlaceTable folded = plain.folded();
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b : {'r', 'R', ':', '\x1A', '\xF2', '\xD2'}) {
            const char raw[3] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(b)};
            const char set[3] = {static_cast<char>(a | 0x20), static_cast<char>(b | 0x20), static_cast<char>(b | 0x20)};
            EXPECT_EQ(folded.groups_at(std::string_view(raw, 3), 0), plain.groups_at(std::string_view(set, 3), 0))
                << a << " " << b;
        }
}

// A window running past the end allows any byte there.
TEST(ScanPlaces, PlacesPastTheEndAllowAnyByte) {
    const PlaceTable t = place_table(4, {{"a", "b", "c", "d"}}, false);
    EXPECT_EQ(t.groups_at("xxab", 2), 1);
    EXPECT_EQ(t.groups_at("xxax", 2), 0);
    // "ab" at the end may start the pattern; "b" alone cannot.
    EXPECT_EQ(scan::place_hits("xxab", t, 0).bits, 0b0100u);
}

// ------------------------------------------------------- word looks --

TEST(ScanWords, BlankRunCountsLeadingSpacesAndTabs) {
    struct Row {
        std::string_view bytes;
        unsigned run;
    } rows[] = {
        {"x               ", 0},  {" \t x            ", 3},  {"        x       ", 8},
        {"\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\n", 15}, {"                ", 16}, {"       \xA0        ", 7},
        {"\x20\x09\x29\x00            ", 2},
    };
    for (const Row& row : rows) EXPECT_EQ(scan::blank_run_16(row.bytes.data()), row.run) << row.bytes;
}

TEST(ScanWords, BytesBelowFlagsOnlyBytesBelow) {
    for (unsigned char c : {0x01, 0x20, 0x30, 0x80})
        for (std::uint64_t w : {0x00011F2021307F80ull, 0xFF8180401F000201ull, 0x2020202020202020ull}) {
            std::uint64_t expected = 0;
            for (unsigned i = 0; i < 8; ++i)
                if (((w >> (8 * i)) & 0xFF) < c) expected |= std::uint64_t{0x80} << (8 * i);
            EXPECT_EQ(scan::word::bytes_below(w, c), expected) << std::hex << w << " " << unsigned{c};
        }
}

TEST(ScanWords, ZeroBytesFlagsOnlyZeroBytes) {
    for (std::uint64_t w : {0x0000000000000000ull, 0x0100FF8000017F00ull, 0xFFFFFFFFFFFFFFFFull, 0x8080808080808080ull,
                            0x0001000100010001ull}) {
        std::uint64_t expected = 0;
        for (unsigned i = 0; i < 8; ++i)
            if (((w >> (8 * i)) & 0xFF) == 0) expected |= std::uint64_t{0x80} << (8 * i);
        EXPECT_EQ(scan::word::zero_bytes(w), expected) << std::hex << w;
    }
}

// The versions listed are the ones this machine runs, the portable last;
// the chosen one is the first.
TEST(ScanVersionsList, PortableIsLastAndChosenIsFirst) {
    const auto list = scan::versions();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back(), &scan::kPortable);
    EXPECT_EQ(&scan::chosen(), list.front());
    EXPECT_STREQ(scan::chosen_version(), list.front()->name);
}

}  // namespace
