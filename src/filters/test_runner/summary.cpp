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

// "2 passed" and its kin: a digit run and one pytest outcome word.
bool is_pytest_count_piece(std::string_view piece) {
    std::vector<std::string_view> tokens = text::split_whitespace(piece);
    return tokens.size() == 2 && is_digit_run(tokens[0]) &&
           equals_any(tokens[1],
                      {"passed", "failed", "skipped", "xfailed", "xpassed", "error", "errors", "warning", "warnings"});
}

}  // namespace

bool is_pytest_banner_line(std::string_view t) {
    return t.starts_with("=") && text::contains(t, " in ") &&
           contains_any(t, {" passed", " failed", " error", " skipped", " xfailed", " xpassed"});
}

bool is_pytest_count_line(std::string_view t) {
    // The seconds figure after the last " in " ends the line, and holds no
    // space: the last " in " is the one right before the figure's digits.
    if (!t.ends_with('s')) return false;
    std::size_t figure = t.size() - 1;
    while (figure > 0 && (text::is_ascii_digit(t[figure - 1]) || t[figure - 1] == '.')) --figure;
    if (t.size() - figure < 2 || !t.substr(0, figure).ends_with(" in ")) return false;
    std::string_view head = t.substr(0, figure - 4);
    if (head == "no tests ran") return true;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = head.find(", ", start);
        std::string_view piece =
            head.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (!is_pytest_count_piece(piece)) return false;
        if (comma == std::string_view::npos) return true;
        start = comma + 2;
    }
}

bool is_cargo_running_line(std::string_view t) {
    std::optional<std::string_view> rest = after_prefix(t, "running ");
    if (!rest) return false;
    for (std::string_view suffix : {" tests", " test"})
        if (rest->ends_with(suffix) && is_digit_run(rest->substr(0, rest->size() - suffix.size()))) return true;
    return false;
}

bool is_go_test_result_line(std::string_view t) {
    if (!starts_with_any(t, {"--- PASS: ", "--- FAIL: ", "--- SKIP: "})) return false;
    std::string_view rest = t.substr(10);
    std::size_t at = rest.rfind(" (");
    if (at == std::string_view::npos) return false;
    std::string_view figure = rest.substr(at + 2);
    while (!figure.empty() && figure.back() == ')') figure.remove_suffix(1);
    return is_seconds_token(figure);
}

bool is_go_package_line(std::string_view t) {
    if (!starts_with_any(t, {"?", "ok", "FAIL"})) return false;
    std::vector<std::string_view> tokens = text::split_whitespace(t);
    if (tokens.size() < 2 || !equals_any(tokens[0], {"?", "ok", "FAIL"}) || !contains_any(tokens[1], {"/", "."}))
        return false;
    if (tokens.size() == 3) return is_seconds_token(tokens[2]);
    return tokens.size() == 5 && tokens[2] == "[no" && tokens[3] == "test" && tokens[4] == "files]";
}

bool is_unittest_total_line(std::string_view t, std::size_t min_seconds_size) {
    if (!t.starts_with("Ran")) return false;
    std::vector<std::string_view> tokens = text::split_whitespace(t);
    return tokens.size() == 5 && tokens[0] == "Ran" && is_digit_run(tokens[1]) &&
           (tokens[2] == "test" || tokens[2] == "tests") && tokens[3] == "in" &&
           is_seconds_token(tokens[4], min_seconds_size);
}

bool is_dotnet_label_count_line(std::string_view t) {
    std::size_t colon = t.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view head = t.substr(0, colon);
    if (!text::equals_ignore_case(head, "passed") && !text::equals_ignore_case(head, "failed") &&
        !text::equals_ignore_case(head, "skipped"))
        return false;
    std::string_view count = text::trim(t.substr(colon + 1));
    for (char c : count)
        if (!text::is_ascii_digit(c)) return false;
    return true;
}

bool is_playwright_run_line(std::string_view line) {
    std::optional<std::string_view> rest = after_prefix(text::trim(line), "Running ");
    if (!rest) return false;
    std::vector<std::string_view> tokens = text::split_whitespace(*rest);
    return tokens.size() == 5 && is_digit_run(tokens[0]) && (tokens[1] == "test" || tokens[1] == "tests") &&
           tokens[2] == "using" && is_digit_run(tokens[3]) && (tokens[4] == "worker" || tokens[4] == "workers");
}

bool is_maven_surefire_summary_line(std::string_view s) {
    return detector::is_maven_surefire_summary_line(s) || s.starts_with("Results:") ||
           text::contains(s, "surefire-reports");
}

namespace {

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
    return is_rspec_count_lc(lc) || starts_with_any(s, {"Finished in ", "Failures:", "Pending:"});
}

bool is_minitest_summary_lc(std::string_view lc) {
    return contains_spaced(lc, " failures, ") && contains_spaced(lc, " runs, ") &&
           contains_spaced(lc, " assertions, ") && contains_spaced(lc, " errors");
}

}  // namespace

bool is_gradle_completion_line(std::string_view t) { return is_gradle_completion_lc(text::to_lower(t)); }

bool is_gradle_test_summary_line(std::string_view s) { return is_gradle_test_summary(s, text::to_lower(s)); }

bool is_dotnet_test_summary_line(std::string_view s) {
    return starts_with_any(s, {"Passed!", "Failed!", "Total tests:", "Test Run "}) || is_dotnet_label_count_line(s);
}

bool is_rspec_count_line(std::string_view t) { return is_rspec_count_lc(text::to_lower(t)); }

bool is_rspec_summary_line(std::string_view s) { return is_rspec_summary(s, text::to_lower(s)); }

bool is_minitest_summary_line(std::string_view s) { return is_minitest_summary_lc(text::to_lower(s)); }

bool is_summary_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (is_pytest_banner_line(t) || is_pytest_count_line(t) || t.starts_with("collected ")) return true;
    if (is_cargo_running_line(t) || is_go_test_result_line(t) || is_go_package_line(t)) return true;
    if (t == "PASS" || t == "FAIL") return true;
    if (is_unittest_total_line(t, 2)) return true;
    if (t == "OK" || starts_with_any(t, {"OK (", "FAILED ("})) return true;
    if (is_playwright_run_line(t) || detector::playwright_summary_status(t)) return true;
    if (starts_with_any(
            t, {"PASS ", "FAIL ", "Test Suites:", "Tests:", "Snapshots:", "Time:", kMultiplicationX, kBlackCircle}))
        return true;
    if (is_maven_surefire_summary_line(t)) return true;
    // Most lines are short: their lower-cased copy stays on the stack.
    char small[256];
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
    return starts_with_any(t, {"Test Files", "Tests", "Duration", "Start at", "test result:"});
}

bool is_unittest_progress_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (t.size() < 20) return false;
    return t.find_first_not_of(".EFSUXsux") == std::string_view::npos;
}

std::string collapse_unittest_progress_line(std::string_view line) {
    std::string_view t = text::trim(line);
    struct Outcome {
        std::string_view markers, label;
    };
    static constexpr std::array<Outcome, 6> outcomes{{{".", "passed"},
                                                      {"Ss", "skipped"},
                                                      {"Xx", "expected failures"},
                                                      {"Uu", "unexpected successes"},
                                                      {"F", "failed"},
                                                      {"E", "errors"}}};
    std::vector<std::string> items;
    for (const Outcome& outcome : outcomes) {
        auto count = std::count_if(t.begin(), t.end(), [&](char c) {
            return text::contains(outcome.markers, {&c, 1});
        });
        if (count != 0) items.push_back(text::format("{} {}", count, outcome.label));
    }
    std::string joined = items.empty() ? std::string("markers only") : text::join(items, ", ");
    return text::format("progress: {} unittest markers ({})", text::char_count(t), joined);
}

std::string normalize_selected_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (text::contains(t, kRuleChar) && (is_playwright_numbered_failure_line(t) || t.starts_with("attachment #"))) {
        while (t.ends_with(kRuleChar)) t.remove_suffix(kRuleChar.size());
        return std::string(text::trim_end(t));
    }
    return std::string(t);
}

std::optional<std::string> extract_playwright_project(std::string_view line) {
    std::size_t open = line.find('[');
    if (open == std::string_view::npos) return std::nullopt;
    std::size_t close = line.find(']', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (!text::trim_start(line.substr(close + 1)).starts_with(kTitleSeparator)) return std::nullopt;
    std::string_view name = text::trim(line.substr(open + 1, close - open - 1));
    if (name.empty()) return std::nullopt;
    return std::string(name);
}

}  // namespace filters::test_runner::summary
