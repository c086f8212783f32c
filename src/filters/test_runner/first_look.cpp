#include "filters/test_runner/first_look.h"

#include <array>
#include <bit>
#include <cstdint>
#include <string>

#include "filters/test_runner/detector.h"
#include "filters/test_runner/go_jsonl.h"
#include "filters/test_runner/summary.h"
#include "filters/test_runner/terminal.h"
#include "scan/scan.h"
#include "text.h"

namespace filters::test_runner::first_look {

namespace {

// Each rule of the detector's recognition, and the Go event reader, needs
// some line or phrase that one of these signs finds; a text without any is
// declined before its lines are found. A sign is the needed line itself
// where a test of it is cheap, so that a text of another kind rarely holds
// one:
//   pytest        "test session starts"; or a partner of its progress
//                 line: a count line ("2 passed in 0.12s"), a line that
//                 begins with "ERROR " or "FAILED " (not "FAILED ("), or
//                 "short test summary info";
//   unittest      its total line, "Ran 3 tests in 0.01s";
//   vitest        a line that begins with "RUN ";
//   playwright    its run line, "Running 3 tests using 2 workers";
//   cargo         a line that begins with "test result:";
//   go            a package line ("ok", "?" or "FAIL", a package, a time),
//                 or a line that begins with "=== RUN ";
//   jest          a line that begins with "PASS " or "FAIL ";
//   surefire      its summary line; gradle its completion line;
//   dotnet        a line that begins with "Starting test execution" or
//                 "Test run for ", or "vstest";
//   rspec         its count line; minitest its summary line;
//   Go events     a first line (of those not blank) that may be an event.
// Words and phrases are matched in the letter case in which the rules
// read them.

// A line's first word follows its line feed or the last byte of its
// leading whitespace. The text has been cleaned of every control byte but
// TAB and LF, so that byte is a line feed or a blank, or the last byte of
// a longer whitespace character: U+0085, U+00A0 (C2 85, C2 A0), U+1680
// (E1 9A 80), U+2000 to U+200A, U+2028, U+2029, U+202F, U+3000 (E2 80 or
// E3 80 and 80-8A, A8, A9, AF) and U+205F (E2 81 9F).
constexpr std::string_view kBeforeWord = "\n\t \x85\xA0\x80\x81\x82\x83\x84\x86\x87\x88\x89\x8A\xA8\xA9\xAF\x9F";
// The first byte of a whitespace character or a line feed.
constexpr std::string_view kSpaceLead = "\t\n \xC2\xE1\xE2\xE3";
constexpr std::string_view kFigure = "0123456789.";

// The words that may begin a trimmed line a rule needs (the first seven
// bytes of a longer one); those in `kWordsBeforeSpace` are followed by
// whitespace. The heads that begin with "test" and "===" are found as
// phrases.
constexpr std::array<std::string_view, 5> kLineHeads{"ERROR ", "FAILED ", "PASS ", "Running", "RUN "};
constexpr std::array<std::string_view, 4> kWordsBeforeSpace{"FAIL", "Ran", "ok", "?"};

// A Go package line names a package, which holds "/" or ".": most lines
// that begin with "ok" or "?" fail here, before their words are split.
bool is_go_package_line(std::string_view t) {
    return t.find_first_of("/.") != std::string_view::npos && summary::is_go_package_line(t);
}

// Whether a trimmed line that begins with one of the heads is one that a
// rule needs. `rest` is the line from its first byte after its indent,
// `t` the same without its trailing whitespace. The cheap tests of a shape
// come first: the total and run lines end in "s" and in "worker" or
// "workers".
bool is_needed_head_line(std::string_view rest, std::string_view t) {
    if (t.empty()) return false;
    switch (t[0]) {
        case 'E':
            return rest.starts_with("ERROR ");
        case 'F':
            return (rest.starts_with("FAILED ") && !rest.starts_with("FAILED (")) || rest.starts_with("FAIL ") ||
                   is_go_package_line(t);
        case 'P':
            return rest.starts_with("PASS ");
        case 'R':
            return rest.starts_with("RUN ") ||
                   ((t.ends_with("worker") || t.ends_with("workers")) && summary::is_playwright_run_line(t)) ||
                   (t.ends_with('s') && summary::is_unittest_total_line(t, 1));
        case 'o':
        case '?':
            return is_go_package_line(t);
        case '=':
            return rest.starts_with("=== RUN ");
        case 'S':
            return rest.starts_with("Starting test execution");
        case 'T':
            return rest.starts_with("Test run for ");
        case 't':
            return rest.starts_with("test result:");
        default:
            return false;
    }
}

std::size_t line_end(std::string_view text, std::size_t at) {
    const std::size_t end = scan::find_byte(text, '\n', at);
    return end == scan::npos ? text.size() : end;
}

// The start of the line that holds byte `at`: the line feed before it is
// looked for eight bytes at a time, as a line may be as long as the text.
std::size_t line_start(std::string_view text, std::size_t at) {
    std::size_t start = at;
    while (start >= 8) {
        const std::uint64_t feeds = scan::word::equal_bytes(scan::word::load(text.data() + start - 8), '\n');
        if (feeds != 0) return start - static_cast<std::size_t>(std::countl_zero(feeds)) / 8;
        start -= 8;
    }
    while (start > 0 && text[start - 1] != '\n') --start;
    return start;
}

// Whether byte `at` begins a trimmed line.
// Only blanks and non-ASCII bytes can make up the line's indent, so the
// walk back stops at the first other byte: a long line with many signs in
// it is not read back to its start once per sign.
bool begins_trimmed_line(std::string_view text, std::size_t at) {
    std::size_t line = at;
    for (; line > 0 && text[line - 1] != '\n'; --line)
        if (static_cast<unsigned char>(text[line - 1]) < 0x80 && !text::is_ascii_whitespace(text[line - 1]))
            return false;
    return text::trim_start(text.substr(line, at - line)).empty();
}

// Whether a trimmed line that a rule needs begins at `at`. Its first byte
// is looked at before its end is looked for.
bool head_sign_at(std::string_view text, std::size_t at) {
    constexpr std::string_view kHeadBytes = "EFPRo?=STt";
    if (at >= text.size() || kHeadBytes.find(text[at]) == std::string_view::npos || !begins_trimmed_line(text, at))
        return false;
    if (text[at] == 'o' || text[at] == '?') {
        // Such a line is a Go package line or nothing, and a package holds
        // "/" or ".": most lines have neither, read no further than their
        // end.
        std::size_t i = at;
        while (i < text.size() && text[i] != '\n' && text[i] != '/' && text[i] != '.') ++i;
        if (i == text.size() || text[i] == '\n') return false;
    }
    const std::string_view rest = text.substr(at, line_end(text, at) - at);
    return is_needed_head_line(rest, text::trim_end(rest));
}

// The groups of the prints. A place allows a byte by its two half-bytes,
// so a group of unlike prints allows far more than their bytes, and a scan
// of a block reads the last four places only when the first four let some
// group through: each group holds like prints, whose first four bytes are
// rare together. The line heads that begin with "E", "F" or "P" (0), with
// "R" (1), "ok" and the end of a figure that ends in "." (2), "?" (3); the
// end of a count line's figure (4); the phrases with "test" (5); the count
// words of RSpec and Minitest (6); "vstest" and "=== RUN " (7).
constexpr unsigned kWordWithEFP = 0, kWordWithR = 1, kOk = 2, kQuestion = 3, kFigureGroup = 4, kTestPhrases = 5,
                   kCountWords = 6, kOtherPhrases = 7;
constexpr unsigned kHeadGroups = 0b1111, kFigureEndGroups = 1u << kFigureGroup | 1u << kOk;

// Phrases a rule needs, found by the (up to) eight bytes from `print_at`:
// as the head of a needed line, or anywhere, with the test that the line
// holding one must pass (none: the phrase is enough).
struct PhraseSign {
    std::string_view phrase;
    std::size_t print_at;
    bool ignore_case;
    unsigned group;
    bool head;
    bool (*line_test)(std::string_view t);
};

constexpr std::array<PhraseSign, 11> kPhraseSigns{{
    {"test session starts", 0, false, kTestPhrases, false, nullptr},
    {"short test summary info", 6, true, kTestPhrases, false, nullptr},
    {"tests completed", 0, true, kTestPhrases, false, &summary::is_gradle_completion_line},
    {"tests run:", 0, true, kTestPhrases, false, &detector::is_maven_surefire_summary_line},
    {"test result:", 0, false, kTestPhrases, true, nullptr},
    {"Test run for ", 0, false, kTestPhrases, true, nullptr},
    {"Starting test execution", 9, false, kTestPhrases, true, nullptr},
    {"examples, ", 5, true, kCountWords, false, &summary::is_rspec_count_line},
    {"assertions, ", 7, true, kCountWords, false, &summary::is_minitest_summary_line},
    {"vstest", 0, true, kOtherPhrases, false, nullptr},
    {"=== RUN ", 2, false, kOtherPhrases, true, nullptr},
}};

constexpr text::ExactFingerprintSet kSignPrints = [] {
    using Print = text::ExactFingerprintSet::Print;
    constexpr std::size_t kHeads = kLineHeads.size() + kWordsBeforeSpace.size();
    std::array<Print, kHeads + kPhraseSigns.size() + 2> prints{};
    std::size_t n = 0;
    auto add = [&](std::string_view before, std::string_view word, std::string_view after, unsigned group,
                   bool ignore_case) {
        Print& print = prints[n++];
        print.group = group;
        print.ignore_case = ignore_case;
        std::size_t place = 0;
        if (!before.empty()) print.bytes[place++] = before;
        for (std::size_t k = 0; k < word.size() && place < print.bytes.size(); ++k)
            print.bytes[place++] = word.substr(k, 1);
        if (!after.empty() && place < print.bytes.size()) print.bytes[place] = after;
    };
    const auto group_of = [](std::string_view word) {
        return word[0] == 'R' ? kWordWithR : word == "ok" ? kOk : word == "?" ? kQuestion : kWordWithEFP;
    };
    for (std::string_view head : kLineHeads) add(kBeforeWord, head, "", group_of(head), false);
    for (std::string_view word : kWordsBeforeSpace) add(kBeforeWord, word, kSpaceLead, group_of(word), false);
    for (const PhraseSign& sign : kPhraseSigns)
        add("", sign.phrase.substr(sign.print_at), "", sign.group, sign.ignore_case);
    // A count line ends with its figure's "s" ("in 0.12s"): the last two
    // bytes before it (a blank when the figure has one byte) and the first
    // byte of what follows, whitespace or the line feed, as few other
    // lines end. A figure that ends in a digit has a group of its own: a
    // place that allowed "." beside the digits would allow all of 0x20 to
    // 0x29 too (" (s" and " %s" in code), by their half-bytes. One that
    // ends in "." joins "ok", whose bytes mix little with it.
    Print& figure = prints[n++];
    figure.group = kFigureGroup;
    figure.bytes = {" 0123456789.", "0123456789", "s", kSpaceLead};
    Print& dotted = prints[n++];
    dotted.group = kOk;
    dotted.bytes = {" 0123456789.", ".", "s", kSpaceLead};
    return text::ExactFingerprintSet(prints);
}();

// Whether the "s" at `at` ends a count line's " in " and figure ("in
// 0.12s") and may end its line: blanks alone follow it up to the line
// feed, read only as far as the first other byte, or a byte from 0x80 up,
// which may begin a wider whitespace character.
bool may_end_count_line_at(std::string_view text, std::size_t at) {
    if (text[at] != 's') return false;
    std::size_t figure = at;
    while (figure > 0 && kFigure.find(text[figure - 1]) != std::string_view::npos) --figure;
    if (figure == at || figure < 4 || text.substr(figure - 4, 4) != " in ") return false;
    std::size_t after = at + 1;
    while (after < text.size() && text[after] != '\n' && text::is_ascii_whitespace(text[after])) ++after;
    return after == text.size() || text[after] == '\n' || static_cast<unsigned char>(text[after]) >= 0x80;
}

// The first look gives up once its prints have matched without a sign more
// than this many times and more than once per this many bytes: reading the
// lines then costs less than checking each match.
constexpr std::size_t kMinMisses = 1024, kBytesPerMiss = 64;
// A text is looked at in pieces of about this many bytes (whole lines), so
// that a piece is looked at while it is in the cache, and a piece to clean
// is cleaned into a buffer that stays there.
constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

// The look at the pieces of one text, in order. Every piece but the first
// begins with the line feed that ends the line before it, so that a line
// head is seen after its line feed.
class Look {
public:
    // Whether `piece`, at `offset` in the text, shows a sign.
    bool sign_in(std::string_view piece, std::size_t offset) {
        checked_to_.fill(0);
        line_begin_ = 1;
        line_stop_ = 0;
        const bool found = kSignPrints.find_if(piece, [&](const text::ExactFingerprintSet::Hit& hit) {
            if (sign_at(piece, hit)) return true;
            // A window that runs past the piece's end allows any byte
            // there: such a match is no miss.
            return hit.at + text::ExactFingerprintSet::kPlaces <= piece.size() && ++misses_ > kMinMisses &&
                   misses_ * kBytesPerMiss > offset + hit.at;
        });
        if (found) return true;
        if (!first_line_seen_ && go_event_first_line(piece)) return true;
        if (first_piece_) {
            first_piece_ = false;
            // The text's first line has no line feed before it.
            const std::size_t first = piece.size() - text::trim_start(piece).size();
            if (first < piece.size() && head_sign_at(piece, first)) return true;
        }
        return false;
    }

private:
    // The Go event reader reads every line that is not blank as an event,
    // and stops at the first that cannot be one.
    bool go_event_first_line(std::string_view piece) {
        for (std::size_t at = 0; at < piece.size();) {
            const std::size_t end = line_end(piece, at);
            const std::string_view t = text::trim(piece.substr(at, end - at));
            if (!t.empty()) {
                first_line_seen_ = true;
                return go_jsonl::may_be_event(t);
            }
            at = end + 1;
        }
        return false;
    }

    bool sign_at(std::string_view text, const text::ExactFingerprintSet::Hit& hit) {
        if ((hit.groups & kHeadGroups) && head_sign_at(text, hit.at + 1)) return true;
        if ((hit.groups & kFigureEndGroups) && hit.at + 2 < text.size() && may_end_count_line_at(text, hit.at + 2) &&
            summary::is_pytest_count_line(text::trim(line_of(text, hit.at + 2))))
            return true;
        for (std::size_t k = 0; k < kPhraseSigns.size(); ++k) {
            const PhraseSign& sign = kPhraseSigns[k];
            if ((hit.groups >> sign.group & 1u) && hit.at >= sign.print_at &&
                phrase_sign_at(text, k, hit.at - sign.print_at))
                return true;
        }
        return false;
    }

    // Whether phrase sign `k` stands at `at` and makes a sign there.
    bool phrase_sign_at(std::string_view text, std::size_t k, std::size_t at) {
        const PhraseSign& sign = kPhraseSigns[k];
        const std::string_view there = text.substr(at, sign.phrase.size());
        if (!(sign.ignore_case ? text::equals_ignore_case(there, sign.phrase) : there == sign.phrase)) return false;
        if (sign.head) return head_sign_at(text, at);
        if (sign.line_test == nullptr) return true;
        // Each line is tested once for each phrase, however often it holds
        // the phrase.
        if (at < checked_to_[k]) return false;
        const std::string_view line = line_of(text, at);
        checked_to_[k] = line_stop_;
        return sign.line_test(text::trim(line));
    }

    // The line of the piece that holds byte `at`, found once however many
    // signs it holds.
    std::string_view line_of(std::string_view text, std::size_t at) {
        if (at < line_begin_ || at > line_stop_) {
            line_begin_ = line_start(text, at);
            line_stop_ = line_end(text, at);
        }
        return text.substr(line_begin_, line_stop_ - line_begin_);
    }

    bool first_piece_ = true, first_line_seen_ = false;
    std::size_t misses_ = 0;
    // For each phrase, the end of the last line tested for it in the piece.
    std::array<std::size_t, kPhraseSigns.size()> checked_to_{};
    // The bounds of the last line found in the piece (none: begin past stop).
    std::size_t line_begin_ = 1, line_stop_ = 0;
};

}  // namespace

bool may_hold_test_run(std::string_view text) {
    Look look;
    std::string cleaned;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.size(), at + kPieceBytes);
        if (end < text.size()) {
            const std::size_t feed = scan::find_byte(text, '\n', end);
            end = feed == scan::npos ? text.size() : feed + 1;
        }
        const std::string_view lines = text.substr(at, end - at);
        // The piece begins with the line feed before its lines; the
        // clean-up never reads across a line feed, so its lines are cleaned
        // alone.
        const std::size_t from = at == 0 ? 0 : at - 1;
        std::string_view piece = text.substr(from, end - from);
        if (terminal::needs_cleaning(lines)) {
            // Room for the line feed, the cleaned lines and the slack.
            if (cleaned.size() < 1 + lines.size() + terminal::kCleanSlack)
                cleaned.resize(1 + lines.size() + terminal::kCleanSlack);
            cleaned[0] = '\n';
            const std::size_t lead = at - from;
            piece = std::string_view(cleaned).substr(1 - lead, lead + terminal::clean_into(lines, cleaned.data() + 1));
        }
        if (look.sign_in(piece, from)) return true;
        at = end;
    }
    return false;
}

}  // namespace filters::test_runner::first_look
