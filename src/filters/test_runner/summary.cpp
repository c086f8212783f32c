#include "filters/test_runner/summary.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "filters/test_runner/detector.h"
#include "filters/test_runner/shapes.h"
#include "text.h"

namespace filters::test_runner::summary {

using namespace shapes;

namespace {

// A fixed list of line openings, kept in order of their first bytes with
// where each first byte's run begins: a line is compared only with the
// openings that share its first byte, and the list is built once rather
// than on every call.
template <std::size_t N>
class Openings {
public:
    constexpr explicit Openings(const std::array<std::string_view, N>& list) : list_(list) {
        // Insertion sort by first byte, stable: few openings, done once.
        for (std::size_t i = 1; i < N; ++i)
            for (std::size_t j = i; j > 0 && first_byte(list_[j]) < first_byte(list_[j - 1]); --j)
                std::swap(list_[j], list_[j - 1]);
        for (std::size_t i = N; i-- > 0;) run_start_[first_byte(list_[i])] = static_cast<std::uint8_t>(i);
        for (std::string_view opening : list_) ++run_size_[first_byte(opening)];
    }

    // Whether `s` begins with one of the openings.
    bool begin(std::string_view s) const {
        if (s.empty()) return false;
        const unsigned b = first_byte(s);
        for (std::size_t i = run_start_[b], end = i + run_size_[b]; i < end; ++i)
            if (s.starts_with(list_[i])) return true;
        return false;
    }

private:
    static_assert(N < 256);
    static constexpr unsigned first_byte(std::string_view s) { return static_cast<unsigned char>(s[0]); }

    std::array<std::string_view, N> list_;
    std::array<std::uint8_t, 256> run_start_{}, run_size_{};
};

// s.starts_with(prefix), the first byte compared inline: most lines differ
// there.
constexpr bool opens_with(std::string_view s, std::string_view prefix) {
    return !s.empty() && s[0] == prefix[0] && s.starts_with(prefix);
}

template <class... Texts>
constexpr auto openings(Texts... texts) {
    return Openings<sizeof...(Texts)>(std::array<std::string_view, sizeof...(Texts)>{std::string_view(texts)...});
}

// A unittest progress line holds at least this many markers.
constexpr std::size_t kMinProgressMarkers = 20;

// ------------------------------------------------------------ summary side --

// "2 passed" and its kin: a digit run and one pytest outcome word.
bool is_pytest_count_piece(std::string_view piece) {
    const std::vector<std::string_view> tokens = text::split_whitespace(piece);
    return tokens.size() == 2 && text::is_ascii_digits(tokens[0]) &&
           text::equals_any(tokens[1], {"passed", "failed", "skipped", "xfailed", "xpassed", "error", "errors",
                                        "warning", "warnings"});
}

// The Surefire summary test of the classifiers, wider than the detector's.
// The detector's line begins with "Tests run:" or "[ERROR] " in any letter
// case, so other lines need not ask it.
bool is_maven_surefire_summary_line(std::string_view s, const LinePhrases& phrases) {
    const bool may_open = s.starts_with('[') || (s.size() > 5 && s[5] == ' ' && (s[0] == 't' || s[0] == 'T'));
    return (may_open && detector::is_maven_surefire_summary_line(s)) ||
           opens_with(s, "Results:") || (phrases.surefire && text::contains(s, "surefire-reports"));
}

// The count phrases below are printed in any letter case; they are searched
// for without regard to it, each needle written in lower case.
bool is_gradle_test_summary(std::string_view s, const LinePhrases& phrases) {
    return opens_with(s, "> Task ") || (phrases.report && text::contains_ignore_case(s, "test report")) ||
           (phrases.completed && is_gradle_completion_line(s));
}

bool is_rspec_summary(std::string_view s, const LinePhrases& phrases) {
    static constexpr auto kOpenings = openings("Finished in ", "Failures:", "Pending:");
    return (phrases.failure && is_rspec_count_line(s)) || kOpenings.begin(s);
}

// ------------------------------------------------------- failure-detail side --

// Lines that open or carry a failure report, by their first bytes.
bool starts_like_failure_report(std::string_view t) {
    static constexpr auto kOpenings =
        openings("FAIL", "ERROR ", "ERROR:", "AssertionError", "Error:", "ImportError", "thread '", "Traceback",
                 "failures:", "--- FAIL:", "--- SKIP:", "Failed!", "Failed tests:", "Failures:", "Pending:",
                 "Test Failed.", "Expected:", "Received:", "Actual:", "Failure/Error:", "Message:", "Messages:",
                 "Stacktrace:", "[ERROR]");
    return kOpenings.begin(t);
}

// The value lines of a failed equality assertion and pytest's own markers
// are recognised by their exact indentation, so the raw line is tested.
bool has_assertion_indent(std::string_view raw) {
    static constexpr auto kOpenings = openings("E   ", ">       ", "  left:", " right:");
    return kOpenings.begin(raw);
}

bool is_python_frame_line(std::string_view s) { return opens_with(s, "File \"") && text::contains(s, "\", line "); }

// The exception lines "ValueError: bad" and "java.io.IOException: gone",
// each given the line's text before its first ":".
bool is_python_exception_head(std::string_view head) {
    if (!text::ends_with_any(head, {"Error", "Exception", "Warning"})) return false;
    for (char c : head)
        if (!text::is_ascii_alnum(c) && c != '_' && c != '.') return false;
    return true;
}

bool is_java_exception_head(std::string_view head) {
    return text::ends_with_any(head, {"Exception", "Error"}) && text::contains(head, ".");
}

bool is_dotnet_failure_line(std::string_view s) {
    static constexpr auto kOpenings = openings("Failed ", "Error Message:", "Stack Trace:", "at ");
    return kOpenings.begin(s);
}

bool is_rspec_failure_line(std::string_view s) {
    static constexpr auto kOpenings = openings("# ./", "# /", "rspec ", "Failure/Error:", "expected", "got:");
    return has_numbered_paren_head(s) || kOpenings.begin(s);
}

bool is_minitest_failure_line(std::string_view s) {
    const std::size_t at = s.find(") ");
    if (at != std::string_view::npos && text::starts_with_any(s.substr(at + 2), {"Failure:", "Error:"})) return true;
    if (s.ends_with("]:") && text::contains(s, ".rb:") && text::contains(s, "[")) return true;
    static constexpr auto kOpenings = openings("Expected", "Actual", "Failure:", "Error:");
    return kOpenings.begin(s);
}

bool is_assert_or_raise_source_line(std::string_view s) {
    static constexpr auto kOpenings = openings("assert ", "self.assert", "raise ");
    return kOpenings.begin(s);
}

bool is_playwright_action_line(std::string_view s) {
    return opens_with(s, "- ") &&
           text::contains_any(s, {"expect", "waiting for", "locator", "page.", "click", "fill", "press", "goto"});
}

bool is_playwright_source_focus_line(std::string_view s) { return s.starts_with(">") && text::contains(s, "|"); }

bool looks_like_artifact_path(std::string_view s) {
    // The file name's ending first: most lines fail there.
    const char last = s.empty() ? '\0' : s.back();
    if ((last != 'g' && last != 'm' && last != 'p' && last != 'l') ||
        !text::ends_with_any(s, {".png", ".jpg", ".jpeg", ".webm", ".zip", ".html"}))
        return false;
    if (text::starts_with_any(s, {"- ", "http://", "https://"}) || !text::contains(s, "/")) return false;
    return text::contains_any(s,
                              {"test-results/", "playwright-report/", "blob-report/", "trace", "screenshot", "video"});
}

bool is_playwright_failure_detail_line(std::string_view s) {
    if (is_playwright_numbered_failure_line(s)) return true;
    if (s.starts_with("[") && text::contains(s, kProjectRowMark)) return true;
    static constexpr auto kOpenings =
        openings("Test timeout", "TimeoutError:", "Locator:", "Timeout:", "Usage:", "locator.", "Expected:",
                 "Received:", "Call log:", "attachment #", "Error Context:", "npx playwright show-trace", "page.",
                 "expect.");
    if (kOpenings.begin(s)) return true;
    return is_playwright_action_line(s) || is_playwright_source_focus_line(s) || looks_like_artifact_path(s);
}

// "path:line" and its kin: src/app.py:12, C:\work\a.rs:3:9, pkg.mod::func.
// Only the first piece that is empty or all digits decides. `colon` is the
// first ":" of `s`, or npos.
bool looks_like_path_location(std::string_view s, std::size_t colon) {
    while (colon != std::string_view::npos) {
        // The piece up to the next ":" (or the end) is empty or all digits
        // when its digit run reaches that ":".
        const std::size_t piece_end = colon + 1 + text::digit_run(s, colon + 1);
        if (piece_end == s.size() || s[piece_end] == ':') {
            // The separator test first: most lines fail it, and it reads
            // only the path's bytes.
            const std::string_view path = s.substr(0, colon);
            if (!std::any_of(path.begin(), path.end(), [](char c) { return c == '/' || c == '\\' || c == '.'; }))
                return false;
            if (text::contains(path, "://")) return false;
            std::size_t len = 0;
            return !text::is_whitespace(text::decode_at(path, 0, len));
        }
        colon = s.find(':', piece_end);
    }
    return false;
}

}  // namespace

// ------------------------------------------------------------ summary side --

bool is_pytest_banner_line(std::string_view t) {
    return t.starts_with("=") && text::contains(t, " in ") &&
           text::contains_any(t, {" passed", " failed", " error", " skipped", " xfailed", " xpassed"});
}

bool is_pytest_count_line(std::string_view t) {
    // The seconds figure after the last " in " ends the line, and holds no
    // space: the last " in " is the one right before the figure's digits.
    if (!t.ends_with('s')) return false;
    std::size_t figure = t.size() - 1;
    while (figure > 0 && (text::is_ascii_digit(t[figure - 1]) || t[figure - 1] == '.')) --figure;
    if (t.size() - figure < 2 || !t.substr(0, figure).ends_with(" in ")) return false;
    const std::string_view head = t.substr(0, figure - 4);
    if (head == "no tests ran") return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = head.find(", ", start);
        const std::string_view piece =
            head.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (!is_pytest_count_piece(piece)) return false;
        if (comma == std::string_view::npos) return true;
        start = comma + 2;
    }
}

bool is_cargo_running_line(std::string_view t) {
    if (!t.starts_with("running ")) return false;
    const std::string_view rest = t.substr(8);
    for (std::string_view suffix : {" tests", " test"})
        if (rest.ends_with(suffix) && text::is_ascii_digits(rest.substr(0, rest.size() - suffix.size()))) return true;
    return false;
}

bool is_go_test_result_line(std::string_view t) {
    if (!text::starts_with_any(t, {"--- PASS: ", "--- FAIL: ", "--- SKIP: "})) return false;
    const std::string_view rest = t.substr(10);
    const std::size_t at = rest.rfind(" (");
    if (at == std::string_view::npos) return false;
    std::string_view figure = rest.substr(at + 2);
    while (!figure.empty() && figure.back() == ')') figure.remove_suffix(1);
    return is_seconds_token(figure);
}

bool is_go_package_line(std::string_view t) {
    // The first word must be one of the three; most lines that begin with
    // one of them go on with more of a word ("?? path" in a status list).
    std::size_t first = 0;
    if (t.starts_with("?"))
        first = 1;
    else if (t.starts_with("ok"))
        first = 2;
    else if (t.starts_with("FAIL"))
        first = 4;
    else
        return false;
    if (first == t.size() || text::whitespace_length_at(t, first) == 0) return false;
    const std::vector<std::string_view> tokens = text::split_whitespace(t);
    if (tokens.size() < 2 || !text::equals_any(tokens[0], {"?", "ok", "FAIL"}) ||
        !text::contains_any(tokens[1], {"/", "."}))
        return false;
    if (tokens.size() == 3) return is_seconds_token(tokens[2]);
    return tokens.size() == 5 && tokens[2] == "[no" && tokens[3] == "test" && tokens[4] == "files]";
}

bool is_unittest_total_line(std::string_view t, std::size_t min_seconds_size) {
    if (!t.starts_with("Ran")) return false;
    const std::vector<std::string_view> tokens = text::split_whitespace(t);
    return tokens.size() == 5 && tokens[0] == "Ran" && text::is_ascii_digits(tokens[1]) &&
           (tokens[2] == "test" || tokens[2] == "tests") && tokens[3] == "in" &&
           is_seconds_token(tokens[4], min_seconds_size);
}

bool is_dotnet_label_count_line(std::string_view t) {
    // The label before the first ":" is six or seven letters long, so the
    // ":" is at one of two places; no search for it.
    std::size_t colon = 6;
    if (t.size() <= colon || t[colon] != ':') ++colon;
    if (t.size() <= colon || t[colon] != ':') return false;
    const std::string_view head = t.substr(0, colon);
    if (!text::equals_ignore_case(head, "passed") && !text::equals_ignore_case(head, "failed") &&
        !text::equals_ignore_case(head, "skipped"))
        return false;
    const std::string_view count = text::trim(t.substr(colon + 1));
    return text::digit_run(count) == count.size();
}

bool is_playwright_run_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (!t.starts_with("Running ")) return false;
    const std::vector<std::string_view> tokens = text::split_whitespace(t.substr(8));
    return tokens.size() == 5 && text::is_ascii_digits(tokens[0]) && (tokens[1] == "test" || tokens[1] == "tests") &&
           tokens[2] == "using" && text::is_ascii_digits(tokens[3]) &&
           (tokens[4] == "worker" || tokens[4] == "workers");
}

bool is_gradle_completion_line(std::string_view t) {
    if (text::ends_with_ignore_case(t, "tests completed")) return true;
    return contains_spaced(t, " tests completed, ", true) &&
           (contains_spaced(t, " failed", true) || contains_spaced(t, " skipped", true));
}

bool is_rspec_count_line(std::string_view t) {
    // Both must hold; the rarer first letter goes first.
    return contains_spaced(t, " failure", true) && contains_spaced(t, " examples, ", true);
}

bool is_minitest_summary_line(std::string_view t) {
    // " failures, " holds " failure": most lines fail the cheaper search.
    return contains_spaced(t, " failure", true) && contains_spaced(t, " failures, ", true) &&
           contains_spaced(t, " runs, ", true) && contains_spaced(t, " assertions, ", true) &&
           contains_spaced(t, " errors", true);
}

namespace {

// The first occurrence at or after `from` of each phrase of LinePhrases.
// A phrase read in any letter case is looked for by its part from `rare`
// on, whose first two letters stand together in text far less often than
// the phrase's own first two ("po" against "re", "mp" against "co"), and
// then the rest before it is compared.
std::size_t find_by_rare_part(std::string_view text, std::string_view phrase, std::size_t rare, std::size_t from) {
    const std::string_view tail = phrase.substr(rare), head = phrase.substr(0, rare);
    for (std::size_t at = text::find_ignore_case(text, tail, from + rare); at != std::string_view::npos;
         at = text::find_ignore_case(text, tail, at + 1))
        if (text::equals_ignore_case(text.substr(at - rare, rare), head)) return at - rare;
    return std::string_view::npos;
}
std::size_t find_report(std::string_view text, std::size_t from) { return find_by_rare_part(text, "report", 2, from); }
std::size_t find_completed(std::string_view text, std::size_t from) {
    return find_by_rare_part(text, "completed", 2, from);
}
std::size_t find_failure(std::string_view text, std::size_t from) {
    return text::find_ignore_case(text, "failure", from);
}
std::size_t find_failed(std::string_view text, std::size_t from) { return text.find("FAILED", from); }
// Looked for by its "-", far rarer in text than its "s".
std::size_t find_surefire_reports(std::string_view text, std::size_t from) {
    constexpr std::string_view kHead = "surefire", kRest = "-reports";
    for (std::size_t at = text.find(kRest, from + kHead.size()); at != std::string_view::npos;
         at = text.find(kRest, at + 1))
        if (text.substr(at - kHead.size(), kHead.size()) == kHead) return at - kHead.size();
    return std::string_view::npos;
}

}  // namespace

PhraseScan::PhraseScan(std::string_view text)
    : text_(text),
      report_{6, &find_report, find_report(text, 0)},
      completed_{9, &find_completed, find_completed(text, 0)},
      failure_{7, &find_failure, find_failure(text, 0)},
      failed_{6, &find_failed, find_failed(text, 0)},
      surefire_{16, &find_surefire_reports, find_surefire_reports(text, 0)},
      nearest_(std::min({report_.next, completed_.next, failure_.next, failed_.next, surefire_.next})) {}

bool PhraseScan::holds(Cursor& cursor, std::size_t begin, std::size_t end) const {
    // Each search starts at a line past the last occurrence found, so the
    // searches together read the text once.
    if (cursor.next < begin) cursor.next = cursor.find(text_, begin);
    return cursor.next < end && end - cursor.next >= cursor.size;
}

LinePhrases PhraseScan::of_line_past_an_occurrence(std::string_view line) {
    const auto begin = static_cast<std::size_t>(line.data() - text_.data());
    const std::size_t end = begin + line.size();
    const LinePhrases phrases{holds(report_, begin, end), holds(completed_, begin, end), holds(failure_, begin, end),
                              holds(failed_, begin, end), holds(surefire_, begin, end)};
    nearest_ = std::min({report_.next, completed_.next, failure_.next, failed_.next, surefire_.next});
    return phrases;
}

namespace {

// is_summary_line of a trimmed line. Most tests need a certain first byte,
// compared before the test is called.
bool is_summary_text(std::string_view t, const LinePhrases& phrases) {
    if (t.empty()) return false;
    const char c = t[0];
    if (c == '=' && is_pytest_banner_line(t)) return true;
    if (is_pytest_count_line(t)) return true;
    if (c == 'c' && t.starts_with("collected ")) return true;
    if (c == 'r' && is_cargo_running_line(t)) return true;
    if (c == '-' && is_go_test_result_line(t)) return true;
    if ((c == '?' || c == 'o' || c == 'F') && is_go_package_line(t)) return true;
    if (t == "PASS" || t == "FAIL") return true;
    if (c == 'R' && is_unittest_total_line(t, 2)) return true;
    if (c == 'O' && (t == "OK" || t.starts_with("OK ("))) return true;
    if (c == 'F' && t.starts_with("FAILED (")) return true;
    if (c == 'R' && is_playwright_run_line(t)) return true;
    // A count first, with an optional "+".
    if ((text::is_ascii_digit(c) || c == '+') && detector::playwright_summary_status(t)) return true;
    static constexpr auto kCountOpenings =
        openings("PASS ", "FAIL ", "Test Suites:", "Tests:", "Snapshots:", "Time:", kMultiplicationX, kBlackCircle);
    if (kCountOpenings.begin(t)) return true;
    if (is_maven_surefire_summary_line(t, phrases)) return true;
    if (is_gradle_test_summary(t, phrases) || is_rspec_summary(t, phrases) ||
        (phrases.failure && is_minitest_summary_line(t)))
        return true;
    static constexpr auto kDotnetOpenings = openings("Passed!", "Failed!", "Total tests:", "Test Run ");
    if (kDotnetOpenings.begin(t)) return true;
    // "Passed:", "failed:", "SKIPPED:" and so on.
    const char lower = text::to_lower_ascii(c);
    if ((lower == 'p' || lower == 'f' || lower == 's') && is_dotnet_label_count_line(t)) return true;
    static constexpr auto kResultOpenings = openings("Test Files", "Tests", "Duration", "Start at", "test result:");
    return kResultOpenings.begin(t);
}

// is_failure_detail_line of a raw line and the line trimmed.
bool is_failure_detail_text(std::string_view line, std::string_view t, const LinePhrases& phrases) {
    static constexpr auto kRowOpenings = openings(kCheckMark, kBallotX, kTimesSign, "-");
    if (kRowOpenings.begin(t) && text::contains(t, kProjectRowMark)) return false;

    if (starts_like_failure_report(t)) return true;
    if (phrases.failed && contains_spaced(t, " FAILED")) return true;

    // "____ ERROR at setup of test_x ____": with no "_" in front the line
    // would begin with "ERROR ", which the first test has taken.
    if (t.starts_with('_')) {
        std::string_view u = t;
        while (!u.empty() && u.front() == '_') u.remove_prefix(1);
        while (!u.empty() && u.back() == '_') u.remove_suffix(1);
        if (text::trim(u).starts_with("ERROR ")) return true;
    }

    if (is_unittest_verbose_failure_line(t) || is_python_frame_line(t) || opens_with(t, "Caused by: ")) return true;
    // The first ":" serves the exception heads and the path location.
    const std::size_t colon = t.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view head = t.substr(0, colon);
        if (is_python_exception_head(head) || is_java_exception_head(head)) return true;
    }
    if (is_dotnet_failure_line(t) || is_rspec_failure_line(t) || is_minitest_failure_line(t)) return true;

    if (phrases.report && text::contains_ignore_case(t, "report") &&
        (text::contains_ignore_case(t, "test report") || text::contains_ignore_case(t, "report at:")))
        return true;
    if (is_assert_or_raise_source_line(t) || is_playwright_failure_detail_line(t)) return true;

    if (opens_with(t, kPointer)) {
        const std::string_view p = text::trim(t.substr(kPointer.size()));
        if (looks_like_path_location(p, p.find(':'))) return true;
    } else if (looks_like_path_location(t, colon)) {
        return true;
    }

    // (A "test ... FAILED" line holds " FAILED", taken above.)
    return has_assertion_indent(line) || opens_with(t, "left:") || opens_with(t, "right:");
}

}  // namespace

bool is_summary_line(std::string_view line, const LinePhrases& phrases) {
    return is_summary_text(text::trim(line), phrases);
}

bool is_failure_detail_line(std::string_view line, const LinePhrases& phrases) {
    return is_failure_detail_text(line, text::trim(line), phrases);
}

bool is_summary_or_failure_detail_line(std::string_view line, const LinePhrases& phrases) {
    const std::string_view t = text::trim(line);
    return is_summary_text(t, phrases) || is_failure_detail_text(line, t, phrases);
}

bool is_unittest_progress_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    return t.size() >= kMinProgressMarkers && t.find_first_not_of(".EFSUXsux") == std::string_view::npos;
}

std::string collapse_unittest_progress_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    struct Outcome {
        std::string_view markers, label;
    };
    static constexpr std::array<Outcome, 6> kOutcomes{{{".", "passed"},
                                                       {"Ss", "skipped"},
                                                       {"Xx", "expected failures"},
                                                       {"Uu", "unexpected successes"},
                                                       {"F", "failed"},
                                                       {"E", "errors"}}};
    std::vector<std::string> items;
    for (const Outcome& outcome : kOutcomes) {
        const auto count = std::count_if(t.begin(), t.end(), [&](char c) {
            return text::contains(outcome.markers, {&c, 1});
        });
        if (count != 0) items.push_back(text::format("{} {}", count, outcome.label));
    }
    const std::string joined = items.empty() ? std::string("markers only") : text::join(items, ", ");
    return text::format("progress: {} unittest markers ({})", text::char_count(t), joined);
}

std::string_view normalize_selected_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if ((is_playwright_numbered_failure_line(t) || t.starts_with("attachment #")) && text::contains(t, kRuleChar)) {
        while (t.ends_with(kRuleChar)) t.remove_suffix(kRuleChar.size());
        return text::trim_end(t);
    }
    return t;
}

std::optional<std::string_view> extract_playwright_project(std::string_view line) {
    const std::size_t open = line.find('[');
    if (open == std::string_view::npos) return std::nullopt;
    const std::size_t close = line.find(']', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (!text::trim_start(line.substr(close + 1)).starts_with(kTitleSeparator)) return std::nullopt;
    const std::string_view name = text::trim(line.substr(open + 1, close - open - 1));
    if (name.empty()) return std::nullopt;
    return name;
}

// ------------------------------------------------------- failure-detail side --

bool is_unittest_verbose_failure_line(std::string_view s) {
    // The verdict after the last " ... " is the end of the trimmed line.
    if (s.empty() || (s.back() != 'R' && s.back() != 'L') || !text::ends_with_any(s, {"ERROR", "FAIL"})) return false;
    const std::size_t at = s.rfind(" ... ");
    if (at == std::string_view::npos) return false;
    const std::string_view before = s.substr(0, at);
    const std::string_view after = text::trim(s.substr(at + 5));
    if (text::trim(before).empty() || !text::contains(before, "(") || !text::contains(before, ")")) return false;
    return after == "ERROR" || after == "FAIL";
}

bool is_playwright_numbered_failure_line(std::string_view s) {
    return has_numbered_paren_head(s) && text::contains(s, kTitleSeparator);
}

bool is_playwright_attention_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    return text::contains_ignore_case(t, "retry #") || (t.starts_with("[") && text::contains(t, kProjectRowMark));
}

bool is_jest_numbered_context(std::string_view s) {
    const std::optional<std::string_view> head = before_first(s, "|");
    return head && text::is_ascii_digits(text::trim(*head));
}

}  // namespace filters::test_runner::summary
