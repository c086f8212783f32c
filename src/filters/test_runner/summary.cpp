#include "filters/test_runner/summary.h"

#include <algorithm>
#include <array>
#include <vector>

#include "filters/test_runner/detector.h"
#include "filters/test_runner/shapes.h"
#include "text.h"

namespace filters::test_runner::summary {

using namespace shapes;

namespace {

// A unittest progress line holds at least this many markers.
constexpr std::size_t kMinProgressMarkers = 20;
// Lower-cased copies of lines up to this size stay on the stack.
constexpr std::size_t kStackLineBytes = 256;

// ------------------------------------------------------------ summary side --

// "2 passed" and its kin: a digit run and one pytest outcome word.
bool is_pytest_count_piece(std::string_view piece) {
    const std::vector<std::string_view> tokens = text::split_whitespace(piece);
    return tokens.size() == 2 && text::is_ascii_digits(tokens[0]) &&
           text::equals_any(tokens[1], {"passed", "failed", "skipped", "xfailed", "xpassed", "error", "errors",
                                        "warning", "warnings"});
}

// The Surefire summary test of the classifiers, wider than the detector's.
bool is_maven_surefire_summary_line(std::string_view s) {
    return detector::is_maven_surefire_summary_line(s) || s.starts_with("Results:") ||
           text::contains(s, "surefire-reports");
}

// The runner-specific tests that read a lower-cased copy of the line, which
// is made once per line so that the searches can be case-sensitive.
bool is_gradle_completion_lc(std::string_view lc) {
    if (lc.ends_with("tests completed")) return true;
    return contains_spaced(lc, " tests completed, ") &&
           (contains_spaced(lc, " failed") || contains_spaced(lc, " skipped"));
}

bool is_gradle_test_summary(std::string_view s, std::string_view lc) {
    return s.starts_with("> Task ") || text::contains(lc, "test report") || is_gradle_completion_lc(lc);
}

bool is_rspec_count_lc(std::string_view lc) {
    // Both must hold; the rarer first letter goes first.
    return contains_spaced(lc, " failure") && contains_spaced(lc, " examples, ");
}

bool is_rspec_summary(std::string_view s, std::string_view lc) {
    return is_rspec_count_lc(lc) || text::starts_with_any(s, {"Finished in ", "Failures:", "Pending:"});
}

bool is_minitest_summary_lc(std::string_view lc) {
    return contains_spaced(lc, " failures, ") && contains_spaced(lc, " runs, ") &&
           contains_spaced(lc, " assertions, ") && contains_spaced(lc, " errors");
}

bool is_dotnet_test_summary_line(std::string_view s) {
    return text::starts_with_any(s, {"Passed!", "Failed!", "Total tests:", "Test Run "}) ||
           is_dotnet_label_count_line(s);
}

// ------------------------------------------------------- failure-detail side --

// Lines that open or carry a failure report, by their first bytes.
bool starts_like_failure_report(std::string_view t) {
    return text::starts_with_any(
        t, {"FAIL",          "ERROR ",         "ERROR:",    "AssertionError", "Error:",      "ImportError",
            "thread '",      "Traceback",      "failures:", "--- FAIL:",      "--- SKIP:",   "Failed!",
            "Failed tests:", "Failures:",      "Pending:",  "Test Failed.",   "Expected:",   "Received:",
            "Actual:",       "Failure/Error:", "Message:",  "Messages:",      "Stacktrace:", "[ERROR]"});
}

// The value lines of a failed equality assertion and pytest's own markers
// are recognised by their exact indentation, so the raw line is tested.
bool has_assertion_indent(std::string_view raw) {
    return text::starts_with_any(raw, {"E   ", ">       ", "  left:", " right:"});
}

bool is_python_frame_line(std::string_view s) { return s.starts_with("File \"") && text::contains(s, "\", line "); }

bool is_python_exception_line(std::string_view s) {
    const std::optional<std::string_view> head = before_first(s, ":");
    if (!head || head->empty()) return false;
    for (char c : *head)
        if (!text::is_ascii_alnum(c) && c != '_' && c != '.') return false;
    return text::ends_with_any(*head, {"Error", "Exception", "Warning"});
}

bool is_java_exception_line(std::string_view s) {
    if (s.starts_with("Caused by: ")) return true;
    const std::optional<std::string_view> head = before_first(s, ":");
    return head && text::contains(*head, ".") && text::ends_with_any(*head, {"Exception", "Error"});
}

bool is_dotnet_failure_line(std::string_view s) {
    return text::starts_with_any(s, {"Failed ", "Error Message:", "Stack Trace:", "at "});
}

bool is_rspec_failure_line(std::string_view s) {
    return has_numbered_paren_head(s) ||
           text::starts_with_any(s, {"# ./", "# /", "rspec ", "Failure/Error:", "expected", "got:"});
}

bool is_minitest_failure_line(std::string_view s) {
    const std::size_t at = s.find(") ");
    if (at != std::string_view::npos && text::starts_with_any(s.substr(at + 2), {"Failure:", "Error:"})) return true;
    if (text::contains(s, "[") && text::contains(s, ".rb:") && s.ends_with("]:")) return true;
    return text::starts_with_any(s, {"Expected", "Actual", "Failure:", "Error:"});
}

bool is_assert_or_raise_source_line(std::string_view s) {
    return text::starts_with_any(s, {"assert ", "self.assert", "raise "});
}

bool is_playwright_action_line(std::string_view s) {
    return s.starts_with("- ") &&
           text::contains_any(s, {"expect", "waiting for", "locator", "page.", "click", "fill", "press", "goto"});
}

bool is_playwright_source_focus_line(std::string_view s) { return s.starts_with(">") && text::contains(s, "|"); }

bool looks_like_artifact_path(std::string_view s) {
    if (!text::contains(s, "/")) return false;
    if (text::starts_with_any(s, {"- ", "http://", "https://"})) return false;
    if (!text::ends_with_any(s, {".png", ".jpg", ".jpeg", ".webm", ".zip", ".html"})) return false;
    return text::contains_any(s,
                              {"test-results/", "playwright-report/", "blob-report/", "trace", "screenshot", "video"});
}

bool is_playwright_failure_detail_line(std::string_view s) {
    if (is_playwright_numbered_failure_line(s)) return true;
    if (s.starts_with("[") && text::contains(s, kProjectRowMark)) return true;
    if (text::starts_with_any(s, {"Test timeout", "TimeoutError:", "Locator:", "Timeout:", "Usage:", "locator.",
                                  "Expected:", "Received:", "Call log:", "attachment #",
                                  "Error Context:", "npx playwright show-trace", "page.", "expect."}))
        return true;
    return is_playwright_action_line(s) || is_playwright_source_focus_line(s) || looks_like_artifact_path(s);
}

// "path:line" and its kin: src/app.py:12, C:\work\a.rs:3:9, pkg.mod::func.
// Only the first piece that is empty or all digits decides.
bool looks_like_path_location(std::string_view s) {
    std::size_t colon = s.find(':');
    while (colon != std::string_view::npos) {
        const std::size_t next = s.find(':', colon + 1);
        const std::string_view piece =
            s.substr(colon + 1, next == std::string_view::npos ? std::string_view::npos : next - colon - 1);
        if (piece.empty() || text::is_ascii_digits(piece)) {
            const std::string_view path = s.substr(0, colon);
            if (path.empty() || text::contains(path, "://")) return false;
            std::size_t len = 0;
            if (text::is_whitespace(text::decode_at(path, 0, len))) return false;
            return text::contains_any(path, {"/", "\\", "."});
        }
        colon = next;
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
    const std::size_t colon = t.find(':');
    if (colon == std::string_view::npos) return false;
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

bool is_gradle_completion_line(std::string_view t) { return is_gradle_completion_lc(text::to_lower(t)); }

bool is_rspec_count_line(std::string_view t) { return is_rspec_count_lc(text::to_lower(t)); }

bool is_minitest_summary_line(std::string_view t) { return is_minitest_summary_lc(text::to_lower(t)); }

bool is_summary_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (is_pytest_banner_line(t) || is_pytest_count_line(t) || t.starts_with("collected ")) return true;
    if (is_cargo_running_line(t) || is_go_test_result_line(t) || is_go_package_line(t)) return true;
    if (t == "PASS" || t == "FAIL") return true;
    if (is_unittest_total_line(t, 2)) return true;
    if (t == "OK" || text::starts_with_any(t, {"OK (", "FAILED ("})) return true;
    if (is_playwright_run_line(t) || detector::playwright_summary_status(t)) return true;
    if (text::starts_with_any(
            t, {"PASS ", "FAIL ", "Test Suites:", "Tests:", "Snapshots:", "Time:", kMultiplicationX, kBlackCircle}))
        return true;
    if (is_maven_surefire_summary_line(t)) return true;
    char small[kStackLineBytes];
    std::string large;
    std::string_view lc;
    if (t.size() <= sizeof small) {
        std::transform(t.begin(), t.end(), small, text::to_lower_ascii);
        lc = std::string_view(small, t.size());
    } else {
        large = text::to_lower(t);
        lc = large;
    }
    if (is_gradle_test_summary(t, lc) || is_dotnet_test_summary_line(t) || is_rspec_summary(t, lc) ||
        is_minitest_summary_lc(lc))
        return true;
    return text::starts_with_any(t, {"Test Files", "Tests", "Duration", "Start at", "test result:"});
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
    if (text::contains(t, kRuleChar) && (is_playwright_numbered_failure_line(t) || t.starts_with("attachment #"))) {
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
    if (!text::ends_with_any(s, {"ERROR", "FAIL"})) return false;
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

bool is_failure_detail_line(std::string_view line) {
    const std::string_view t = text::trim(line);
    if (text::starts_with_any(t, {kCheckMark, kBallotX, kTimesSign, "-"}) && text::contains(t, kProjectRowMark))
        return false;

    if (starts_like_failure_report(t)) return true;
    if (contains_spaced(t, " FAILED")) return true;

    std::string_view u = t;
    while (!u.empty() && u.front() == '_') u.remove_prefix(1);
    while (!u.empty() && u.back() == '_') u.remove_suffix(1);
    if (text::trim(u).starts_with("ERROR ")) return true;

    if (is_unittest_verbose_failure_line(t) || is_python_frame_line(t) || is_python_exception_line(t) ||
        is_java_exception_line(t) || is_dotnet_failure_line(t) || is_rspec_failure_line(t) ||
        is_minitest_failure_line(t))
        return true;

    if (text::contains_ignore_case(t, "report") &&
        (text::contains_ignore_case(t, "test report") || text::contains_ignore_case(t, "report at:")))
        return true;
    if (is_assert_or_raise_source_line(t) || is_playwright_failure_detail_line(t)) return true;

    const std::string_view p = t.starts_with(kPointer) ? text::trim(t.substr(kPointer.size())) : t;
    if (looks_like_path_location(p)) return true;

    if (has_assertion_indent(line)) return true;
    if (text::starts_with_any(t, {"left:", "right:"})) return true;
    return t.starts_with("test ") && text::contains(t, " ... FAILED");
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
