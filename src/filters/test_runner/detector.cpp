#include "filters/test_runner/detector.h"

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "filters/test_runner/shapes.h"
#include "filters/test_runner/summary.h"
#include "text.h"

namespace filters::test_runner::detector {

using namespace shapes;

namespace {

// A unittest or minitest run of result markers holds at least this many.
constexpr std::size_t kMinMarkerRun = 3;
// A unittest rule line of dashes holds at least this many.
constexpr std::size_t kMinRuleDashes = 5;

// "..F.s" alone or followed by a bracketed percentage "[ 50%]".
bool is_pytest_progress_line(std::string_view t) {
    // An ASCII character that is neither a marker nor whitespace right after
    // the leading markers belongs to the first token ("./src/app.py").
    std::size_t markers = t.find_first_not_of(".EFXfsx");
    if (markers == 0) return false;
    if (markers != std::string_view::npos && static_cast<unsigned char>(t[markers]) < 0x80 &&
        !text::is_ascii_whitespace(t[markers]))
        return false;
    std::string_view token = t, rest;
    if (auto split = text::split_once_whitespace(t)) {
        token = split->first;
        rest = text::trim(split->second);
    }
    if (token.empty() || token.find_first_not_of(".EFXfsx") != std::string_view::npos) return false;
    if (rest.empty()) return true;
    if (rest.size() < 2 || rest.front() != '[' || rest.back() != ']') return false;
    std::string_view inner = text::trim(rest.substr(1, rest.size() - 2));
    return inner.size() >= 2 && inner.back() == '%' && text::is_ascii_digits(inner.substr(0, inner.size() - 1));
}

// The lines after pytest's progress lines that name an error or a failed
// test. "FAILED (failures=1)" closes a failing unittest run, not a pytest one.
bool is_pytest_error_or_failed_line(std::string_view t) {
    return t.starts_with("ERROR ") || (t.starts_with("FAILED ") && !t.starts_with("FAILED ("));
}

bool is_unittest_result_line(std::string_view t) {
    if (t.size() >= kMinRuleDashes && t.find_first_not_of('-') == std::string_view::npos) return true;
    if (t.size() >= kMinMarkerRun && t.find_first_not_of(".EFSUXsux") == std::string_view::npos) return true;
    if (text::starts_with_any(t, {"FAIL:", "ERROR:"})) return true;
    std::size_t at = t.rfind(" ... ");
    if (at == std::string_view::npos) return false;
    std::string_view before = t.substr(0, at);
    if (text::trim(before).empty() || !text::contains(before, "(") || !text::contains(before, ")")) return false;
    std::string_view after = text::trim(t.substr(at + 5));
    return text::equals_any(after, {"ok", "FAIL", "ERROR"}) ||
           text::starts_with_any(after, {"skipped", "expected failure", "unexpected success"});
}

bool is_dotnet_result_line(std::string_view t) {
    return text::starts_with_any(t, {"Passed!", "Failed!", "Total tests:"}) || summary::is_dotnet_label_count_line(t);
}

// The second halves of the RSpec and Minitest rules: a line that opens or
// closes an RSpec report or numbers a failure ("1) ..."), and Minitest's
// options line or a run of its progress markers.
bool is_rspec_partner_line(std::string_view t) {
    return text::starts_with_any(t, {"Failures:", "Pending:", "Finished in "}) || has_numbered_paren_head(t);
}

bool is_minitest_partner_line(std::string_view t) {
    return t.starts_with("Run options:") ||
           (t.size() >= kMinMarkerRun && t.find_first_not_of(".EFS") == std::string_view::npos);
}

// Whether some trimmed line passes `test`.
template <class Test>
bool some_trimmed_line(const text::LineIndex& lines, Test&& test) {
    for (std::string_view line : lines)
        if (test(text::trim(line))) return true;
    return false;
}

// The first two bytes of a trimmed line that some rule's line-start half
// may accept. Most lines of a text of another kind fail here, on one table
// load, before any rule looks at them.
class LineStarts {
public:
    constexpr LineStarts() {
        constexpr std::string_view kMarkers = ".EFSUXfsux";
        for (char c : kMarkers) {
            for (char d : kMarkers) set(c, d);
            for (char d : std::string_view(" \t\v\f")) set(c, d);
            for (unsigned d = 0x80; d < 0x100; ++d) set(c, static_cast<char>(d));  // Unicode whitespace
        }
        for (char c : std::string_view("0123456789=?")) set_any(c);
        for (std::string_view p : {"--", "> ", "co", "ER", "FA", "Fa", "Fi", "Gr", "OK", "ok", "PA", "Pe",
                                   "RU", "Ra", "Ru", "ru", "Sn", "St", "Te", "te", "Ti", "To", "no", "Ru"})
            set(p[0], p[1]);
        // Words read in any letter case: "[error] tests run:", "tests run:",
        // and the .NET labels "passed:", "failed:", "skipped:".
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        for (std::string_view p : {"[e", "te", "pa", "fa", "sk"})
            for (char a : {p[0], upper(p[0])})
                for (char b : {p[1], upper(p[1])}) set(a, b);
    }

    // `t` is a trimmed line, not empty.
    bool may_start(std::string_view t) const {
        if (t.size() < 2) return true;
        const unsigned at = static_cast<unsigned char>(t[0]) << 8 | static_cast<unsigned char>(t[1]);
        return (bits_[at >> 6] >> (at & 63)) & 1u;
    }

private:
    constexpr void set(char a, char b) {
        const unsigned at = static_cast<unsigned char>(a) << 8 | static_cast<unsigned char>(b);
        bits_[at >> 6] |= std::uint64_t{1} << (at & 63);
    }
    constexpr void set_any(char a) {
        for (unsigned b = 0; b < 0x100; ++b) set(a, static_cast<char>(b));
    }

    std::array<std::uint64_t, 1024> bits_{};
};

constexpr LineStarts kLineStarts;

// What one pass over the lines learns cheaply: the halves of the runner rules
// that a line's first bytes decide. A text of another kind fails almost
// every test on its first byte, so declining costs little more than finding
// the line ends. Rules that search inside lines are looked at only when the
// cheap half of their runner holds (see `recognise`).
struct LineFacts {
    bool pytest_collected_or_banner = false, pytest_progress = false, pytest_partner = false;
    bool unittest_total = false, unittest_verdict = false, unittest_result_start = false;
    bool vitest_run = false, vitest_summary = false;
    bool playwright_run = false;
    bool cargo_running = false, cargo_result = false;
    bool go_package = false, go_run = false, go_result = false;
    bool jest_file = false, jest_summary = false;
    bool maven = false;
    bool gradle_start = false;
    bool dotnet_start = false, dotnet_result = false;
    bool rspec_partner = false, minitest_partner = false;
    // Whether the text holds "tests completed", which Gradle's rule needs;
    // looked for by `gather_facts` in the lines it has just read.
    bool gradle_count_phrase = false;

    void note(std::string_view raw, std::string_view t) {
        switch (t[0]) {
            case '.':
            case 'E':
            case 'F':
            case 'S':
            case 'U':
            case 'X':
            case 'f':
            case 's':
            case 'u':
            case 'x':
                note_progress_markers(t);
                break;
            case '-':
                unittest_result_start = unittest_result_start || is_unittest_result_line(t);
                go_result = go_result || summary::is_go_test_result_line(t);
                break;
            case '=':
                pytest_collected_or_banner = pytest_collected_or_banner || summary::is_pytest_banner_line(t);
                go_run = go_run || t.starts_with("=== RUN ");
                break;
            case '>':
                gradle_start = gradle_start || t.starts_with("> Task ");
                break;
            case '?':
                go_package = go_package || summary::is_go_package_line(t);
                break;
            case '[':
                maven = maven || is_maven_surefire_summary_line(t);
                break;
            default:
                break;
        }
        if (t[0] == 'F' || t[0] == 'P' || text::is_ascii_digit(t[0]))
            rspec_partner = rspec_partner || is_rspec_partner_line(t);
        if (t[0] == 'R' || t[0] == '.' || t[0] == 'E' || t[0] == 'F' || t[0] == 'S')
            minitest_partner = minitest_partner || is_minitest_partner_line(t);
        if (t.back() == 's') pytest_partner = pytest_partner || summary::is_pytest_count_line(t);
        note_words(raw, t);
    }

    // Lines that begin with a progress marker: a run of unittest markers
    // ("..E", ".F.s") or pytest's progress line ("..F  [ 50%]").
    void note_progress_markers(std::string_view t) {
        if (t.size() >= kMinMarkerRun && t.find_first_not_of(".EFSUXsux") == std::string_view::npos)
            unittest_result_start = true;
        if (std::string_view(".EFXfsx").find(t[0]) != std::string_view::npos)
            pytest_progress = pytest_progress || is_pytest_progress_line(t);
    }

    // Rules decided by a line's first word, a letter.
    void note_words(std::string_view raw, std::string_view t) {
        switch (text::to_lower_ascii(t[0])) {
            case 'c':
                pytest_collected_or_banner = pytest_collected_or_banner || t.starts_with("collected ");
                break;
            case 'e':
                pytest_partner = pytest_partner || is_pytest_error_or_failed_line(t);
                unittest_result_start = unittest_result_start || t.starts_with("ERROR:");
                break;
            case 'f':
                pytest_partner = pytest_partner || is_pytest_error_or_failed_line(t);
                unittest_verdict = unittest_verdict || t.starts_with("FAILED (");
                unittest_result_start = unittest_result_start || t.starts_with("FAIL:");
                vitest_summary = vitest_summary || t.starts_with("FAIL ");
                go_package = go_package || summary::is_go_package_line(t);
                jest_file = jest_file || t.starts_with("FAIL ");
                dotnet_result = dotnet_result || is_dotnet_result_line(t);
                break;
            case 'g':
                gradle_start = gradle_start || t.starts_with("Gradle Test Executor");
                break;
            case 'o':
                unittest_verdict = unittest_verdict || t == "OK" || t.starts_with("OK (");
                go_package = go_package || summary::is_go_package_line(t);
                break;
            case 'p':
                jest_file = jest_file || t.starts_with("PASS ");
                dotnet_result = dotnet_result || is_dotnet_result_line(t);
                break;
            case 'r':
                unittest_total = unittest_total || summary::is_unittest_total_line(t, 1);
                // "RUN" after leading whitespace; the trimmed line drops a
                // space that may follow it.
                vitest_run = vitest_run || (t.starts_with("RUN") && text::trim_start(raw).starts_with("RUN "));
                playwright_run = playwright_run || summary::is_playwright_run_line(t);
                cargo_running = cargo_running || summary::is_cargo_running_line(t);
                break;
            case 's':
                jest_summary = jest_summary || t.starts_with("Snapshots:");
                dotnet_start = dotnet_start || t.starts_with("Starting test execution");
                dotnet_result = dotnet_result || is_dotnet_result_line(t);
                break;
            case 't':
                vitest_summary = vitest_summary || t.starts_with("Test Files") || t.starts_with("Tests");
                cargo_result = cargo_result || t.starts_with("test result:");
                jest_summary = jest_summary || text::starts_with_any(t, {"Test Suites:", "Tests:", "Time:"});
                // Surefire's line begins with "tests run:" here: a blank
                // after its fifth letter, which most lines lack.
                maven = maven || (t.size() > 5 && t[5] == ' ' && is_maven_surefire_summary_line(t));
                gradle_start = gradle_start || t.starts_with("Test worker");
                dotnet_start = dotnet_start || t.starts_with("Test run for ");
                dotnet_result = dotnet_result || t.starts_with("Total tests:");
                break;
            default:
                break;
        }
    }
};

// A count line "3 examples, 1 failure" and a line that opens or closes the
// report; the count line's words are looked for in the text first.
bool has_rspec_shape(const text::LineIndex& lines, const LineFacts& f) {
    return f.rspec_partner && text::contains_ignore_case(lines.text(), "examples, ") &&
           some_trimmed_line(lines, summary::is_rspec_count_line);
}

// "3 runs, 3 assertions, 0 failures, 0 errors" and the options line or a run
// of progress markers.
bool has_minitest_shape(const text::LineIndex& lines, const LineFacts& f) {
    return f.minitest_partner && text::contains_ignore_case(lines.text(), "assertions, ") &&
           some_trimmed_line(lines, summary::is_minitest_summary_line);
}

// The line `raw` from its first byte after its leading whitespace, empty
// when it holds nothing else. `windowed` says that 16 bytes of the text are
// readable from the line's start: its indent of spaces and tabs is then read
// from that window without a loop over the blanks, and where it ends inside
// the window, before the line's end and on an ASCII byte, it is the line's
// whole run of blanks and the line goes on from there. Most lines of a text
// of another kind take that way, and then fail the table of line starts.
std::string_view line_start(std::string_view raw, bool windowed) {
    if (windowed) {
        const unsigned indent = text::indent_within_16(raw.data());
        if (indent < 16 && indent < raw.size() && static_cast<unsigned char>(raw[indent]) < 0x80)
            return raw.substr(indent);
    }
    // Leading ASCII blanks are passed over here; only a line that goes on
    // with a byte above ASCII needs the full Unicode trim.
    const std::size_t lead = text::leading_blanks(raw);
    if (lead == raw.size()) return {};
    return static_cast<unsigned char>(raw[lead]) < 0x80 ? raw.substr(lead) : text::trim_start(raw.substr(lead));
}

// Whether the text holds `phrase`, ASCII case ignored, looking first for
// its part from `rare` on: a part whose first two bytes are rare in text
// lets the search pass over most of it sixteen bytes at a time. A phrase is
// in some trimmed line exactly when the text holds it, since it holds no
// line feed and neither begins nor ends with whitespace.
bool holds_phrase(std::string_view text, std::string_view phrase, std::size_t rare = 0) {
    const std::string_view tail = phrase.substr(rare);
    for (std::size_t at = text::find_ignore_case(text, tail, rare); at != std::string_view::npos;
         at = text::find_ignore_case(text, tail, at + 1))
        if (text::equals_ignore_case(text.substr(at - rare, rare), phrase.substr(0, rare))) return true;
    return false;
}

// The phrase of pytest's banner, in this letter case.
constexpr std::string_view kPytestBannerPhrase = "test session starts";
// The phrase of Gradle's count line, in any letter case, and the part of it
// from which it is looked for.
constexpr std::string_view kGradleCountPhrase = "tests completed";
constexpr std::size_t kGradleCountRare = 9;
// Gradle's phrase is looked for in the text as its lines are read, this
// many bytes at a time: the bytes just read for their lines are then still
// in the cache, and the text is read from memory once rather than twice.
constexpr std::size_t kPhraseChunk = std::size_t{1} << 18;

LineFacts gather_facts(const text::LineIndex& lines) {
    LineFacts facts;
    const std::string_view all = lines.text();
    const std::size_t count = lines.size();
    bool banner_phrase_looked_for = false;
    // Gradle's phrase has been looked for at every place before this one.
    std::size_t phrase_looked_to = 0;
    const auto look_for_gradle_phrase = [&](std::size_t to) {
        if (!facts.gradle_count_phrase)
            facts.gradle_count_phrase =
                holds_phrase(all.substr(phrase_looked_to, to - phrase_looked_to + kGradleCountPhrase.size() - 1),
                             kGradleCountPhrase, kGradleCountRare);
        phrase_looked_to = to;
    };
    // The lines from which sixteen bytes of the text are readable.
    std::size_t windowed = count;
    while (windowed > 0 && all.size() - lines.start(windowed - 1) < 16) --windowed;
    for (std::size_t i = 0; i < count; ++i) {
        if (lines.start(i) - phrase_looked_to >= kPhraseChunk) look_for_gradle_phrase(lines.start(i));
        const std::string_view raw = lines[i];
        const std::string_view start = line_start(raw, i < windowed);
        if (start.empty() || !kLineStarts.may_start(start)) continue;
        // A line that begins with a digit counts only as "3 passed ..." or
        // "1) ...": its digits end at whitespace or ")" (a hash such as
        // "1a2b3c4" or a time such as "2024-05-14" ends them otherwise).
        if (text::is_ascii_digit(start[0])) {
            const std::size_t digits = text::digit_run(start);
            if (digits == start.size()) continue;
            const char after = start[digits];
            if (after != ')' && !text::is_ascii_whitespace(after) && static_cast<unsigned char>(after) < 0x80) continue;
        }
        facts.note(raw, text::trim_end(start));
        // pytest's two rules come first in `recognise` and both name pytest:
        // once one of them holds, no later line nor Gradle's phrase changes
        // the answer.
        if (facts.pytest_progress && facts.pytest_partner) return facts;
        if (facts.pytest_collected_or_banner && !banner_phrase_looked_for) {
            banner_phrase_looked_for = true;
            if (text::contains(all, kPytestBannerPhrase)) return facts;
        }
    }
    look_for_gradle_phrase(all.size());
    return facts;
}

// The first runner whose rule holds.
std::optional<TestRunnerKind> recognise(const text::LineIndex& lines, const LineFacts& f) {
    const std::string_view text = lines.text();
    // The pytest banner's phrase is case-sensitive.
    if (f.pytest_collected_or_banner && text::contains(text, kPytestBannerPhrase)) return TestRunnerKind::pytest;
    if (f.pytest_progress && (f.pytest_partner || holds_phrase(text, "short test summary info")))
        return TestRunnerKind::pytest;
    if (f.unittest_total && f.unittest_verdict &&
        (f.unittest_result_start || some_trimmed_line(lines, is_unittest_result_line)))
        return TestRunnerKind::unittest;
    if (f.vitest_run && f.vitest_summary) return TestRunnerKind::vitest;
    if (f.playwright_run &&
        some_trimmed_line(lines, [](std::string_view t) { return playwright_summary_status(t).has_value(); }))
        return TestRunnerKind::playwright;
    if (f.cargo_running && f.cargo_result) return TestRunnerKind::cargo;
    if (f.go_package || (f.go_run && f.go_result)) return TestRunnerKind::go;
    if (f.jest_file && f.jest_summary) return TestRunnerKind::jest;
    if (f.maven) return TestRunnerKind::maven_surefire;
    if (f.gradle_count_phrase && (f.gradle_start || holds_phrase(text, "test report")) &&
        some_trimmed_line(lines, summary::is_gradle_completion_line))
        return TestRunnerKind::gradle_test;
    if (f.dotnet_result && (f.dotnet_start || holds_phrase(text, "vstest"))) return TestRunnerKind::dotnet_test;
    if (has_rspec_shape(lines, f)) return TestRunnerKind::rspec;
    if (has_minitest_shape(lines, f)) return TestRunnerKind::minitest;
    return std::nullopt;
}

// Some occurrence of `label` is followed, after whitespace, by a count
// greater than zero ("failures: 2").
bool contains_nonzero_label_count(std::string_view text_, std::string_view label) {
    if (label.empty()) return false;
    std::size_t at = text_.find(label);
    while (at != std::string_view::npos) {
        std::size_t next = text_.find(label, at + label.size());
        std::string_view after = text::trim_start(text_.substr(
            at + label.size(), next == std::string_view::npos ? std::string_view::npos : next - at - label.size()));
        if (is_positive_count(after.substr(0, text::digit_run(after)))) return true;
        at = next;
    }
    return false;
}

// Some token equal to `label` directly follows a count greater than zero
// ("1 failures"). Tokens are compared alphanumeric-trimmed; a label token
// that ends in ":" introduces the count after it and is not counted here.
bool contains_nonzero_count_before_label(std::string_view text_, std::string_view label) {
    std::vector<std::string_view> tokens = text::split_whitespace(text_);
    for (std::size_t k = 1; k < tokens.size(); ++k) {
        // "Tests run: 3, Failures: 0": the 3 belongs to "run:", and the
        // colon says that the label's own count comes after it.
        if (tokens[k].ends_with(":")) continue;
        if (text::trim_non_alnum(tokens[k]) == label && is_positive_count(text::trim_non_alnum(tokens[k - 1])))
            return true;
    }
    return false;
}

// Whether `t` holds `word`. The case-blind search of the toolkit passes
// over a line sixteen bytes at a time and rules most lines out; the plain
// search stops at every byte equal to the word's first, which costs a call
// each on the long test ids of a passing run ("test_creates_order" holds
// many an "e" but no "error").
bool holds_word(std::string_view t, std::string_view word) {
    return text::find_ignore_case(t, word) != std::string_view::npos && text::contains(t, word);
}

// Failure marks that hold for every runner.
bool is_failure_for_every_runner(std::string_view t) {
    if (text::starts_with_any(t, {"FAILED ", "FAIL ", "FAIL:", "ERROR:", "failures:", "test result: FAILED"}))
        return true;
    if (contains_spaced(t, " FAILURES ")) return true;
    if (summary::is_unittest_verbose_failure_line(t)) return true;
    return holds_word(t, "failed") && contains_nonzero_count_before_label(t, "failed");
}

bool is_pytest_failure(std::string_view t) {
    return holds_word(t, "error") &&
           (contains_nonzero_count_before_label(t, "error") || contains_nonzero_count_before_label(t, "errors"));
}

bool is_playwright_failure(std::string_view t) {
    if (std::optional<std::string_view> status = playwright_summary_status(t)) {
        if (is_positive_count(text::split_whitespace(t).front(), true) &&
            text::equals_any(*status, {"interrupted", "timed out", "failed"}))
            return true;
    }
    if (summary::is_playwright_numbered_failure_line(t)) return true;
    if (text::starts_with_any(t, {kBallotX, kTimesSign}) && text::contains(t, kTitleSeparator)) return true;
    return text::starts_with_any(t, {"Test timeout", "TimeoutError:"});
}

// Marks for the runners whose summaries count failures and errors by label.
// A test named "retries failed payments" or a Surefire line reporting
// "Failures: 0" is no failure: only a non-zero count marks one.
bool is_labelled_count_failure(std::string_view t) {
    if (text::starts_with_any(
            t, {"--- FAIL:", "FAIL", "Failed!", "Failed tests:", "Failures:", "Test Failed.", "[ERROR]"}))
        return true;
    if (contains_spaced(t, " FAILED")) return true;
    if (!text::contains_ignore_case(t, "fail") && !text::contains_ignore_case(t, "error") &&
        !contains_spaced(t, " examples, ", true))
        return false;
    std::string lc = text::to_lower(t);
    for (std::string_view label : {"failures:", "errors:", "failed:"})
        if (contains_nonzero_label_count(lc, label)) return true;
    if (std::size_t at = lc.find(" examples, "); at != std::string::npos) {
        std::vector<std::string_view> tokens = text::split_whitespace(std::string_view(lc).substr(at + 11));
        if (!tokens.empty() && is_positive_count(tokens[0], true)) return true;
    }
    return contains_nonzero_count_before_label(lc, "failures") || contains_nonzero_count_before_label(lc, "errors");
}

bool run_failed(TestRunnerKind kind, const text::LineIndex& lines) {
    bool labelled = kind == TestRunnerKind::go || kind == TestRunnerKind::jest ||
                    kind == TestRunnerKind::maven_surefire || kind == TestRunnerKind::gradle_test ||
                    kind == TestRunnerKind::dotnet_test || kind == TestRunnerKind::rspec ||
                    kind == TestRunnerKind::minitest;
    const auto fails = [&](std::string_view t) {
        return is_failure_for_every_runner(t) || (kind == TestRunnerKind::pytest && is_pytest_failure(t)) ||
               (kind == TestRunnerKind::playwright && is_playwright_failure(t)) ||
               (labelled && is_labelled_count_failure(t));
    };
    if (labelled || kind == TestRunnerKind::playwright) return some_trimmed_line(lines, fails);
    // Every mark the other runners fail by holds "fail" or "error" in some
    // letter case: a leading "FAILED ", "FAIL ", "FAIL:", "ERROR:",
    // "failures:" or "test result: FAILED", " FAILURES ", a verbose
    // "... ERROR" or "... FAIL", a count of "failed", and pytest's count of
    // "error" or "errors". Only the lines that hold one are tested, found by
    // a search of the whole text that passes over the rest sixteen bytes at
    // a time.
    const std::string_view all = lines.text();
    for (std::string_view word : {"fail", "error"}) {
        for (std::size_t at = text::find_ignore_case(all, word); at != std::string_view::npos;) {
            const std::size_t line = lines.line_at(at);
            if (fails(text::trim(lines[line]))) return true;
            if (line + 1 == lines.size()) break;
            at = text::find_ignore_case(all, word, lines.start(line + 1));
        }
    }
    return false;
}

}  // namespace

std::string_view runner_name(TestRunnerKind kind) {
    switch (kind) {
        case TestRunnerKind::pytest:
            return "pytest";
        case TestRunnerKind::unittest:
            return "unittest";
        case TestRunnerKind::vitest:
            return "vitest";
        case TestRunnerKind::playwright:
            return "playwright";
        case TestRunnerKind::cargo:
            return "cargo";
        case TestRunnerKind::go:
            return "go";
        case TestRunnerKind::jest:
            return "jest";
        case TestRunnerKind::maven_surefire:
            return "maven-surefire";
        case TestRunnerKind::gradle_test:
            return "gradle-test";
        case TestRunnerKind::dotnet_test:
            return "dotnet-test";
        case TestRunnerKind::rspec:
            return "rspec";
        case TestRunnerKind::minitest:
            return "minitest";
    }
    return "";
}

std::optional<TestRun> detect_test_run(const text::LineIndex& lines) {
    const std::optional<TestRunnerKind> kind = recognise(lines, gather_facts(lines));
    if (!kind) return std::nullopt;
    return TestRun{*kind, run_failed(*kind, lines)};
}

std::optional<std::string_view> playwright_summary_status(std::string_view line) {
    if (line.empty() || (!text::is_ascii_digit(line.front()) && line.front() != '+')) return std::nullopt;
    std::vector<std::string_view> tokens = text::split_whitespace(line);
    if (tokens.size() < 2 || !text::parse_unsigned(tokens[0])) return std::nullopt;
    std::string_view label;
    std::size_t used = 2;
    if (tokens[1] == "did") {
        if (tokens.size() < 4 || tokens[2] != "not" || tokens[3] != "run") return std::nullopt;
        label = "did not run";
        used = 4;
    } else if (tokens[1] == "timed") {
        if (tokens.size() < 3 || tokens[2] != "out") return std::nullopt;
        label = "timed out";
        used = 3;
    } else {
        static constexpr std::array<std::string_view, 5> words{"flaky", "passed", "failed", "skipped", "interrupted"};
        for (std::string_view w : words)
            if (tokens[1] == w) label = w;
        if (label.empty()) return std::nullopt;
    }
    if (tokens.size() == used) return label;
    if (tokens.size() == used + 1 && tokens[used].starts_with("(") && tokens[used].ends_with(")")) return label;
    return std::nullopt;
}

bool is_maven_surefire_summary_line(std::string_view line) {
    std::string_view rest = line;
    if (text::starts_with_ignore_case(rest, "[error] ")) rest.remove_prefix(8);
    return text::starts_with_ignore_case(rest, "tests run:") && text::contains_ignore_case(rest, "failures:") &&
           text::contains_ignore_case(rest, "errors:") && text::contains_ignore_case(rest, "skipped:");
}

}  // namespace filters::test_runner::detector
