#include "filters/test_runner/classifiers.h"

#include "filters/test_runner/shapes.h"
#include "text.h"

namespace filters::test_runner::summary {

using namespace shapes;

namespace {

// Lines that open or carry a failure report, by their first bytes.
bool starts_like_failure_report(std::string_view t) {
    return starts_with_any(
        t, {"FAIL",          "ERROR ",         "ERROR:",    "AssertionError", "Error:",      "ImportError",
            "thread '",      "Traceback",      "failures:", "--- FAIL:",      "--- SKIP:",   "Failed!",
            "Failed tests:", "Failures:",      "Pending:",  "Test Failed.",   "Expected:",   "Received:",
            "Actual:",       "Failure/Error:", "Message:",  "Messages:",      "Stacktrace:", "[ERROR]"});
}

// The value lines of a failed equality assertion and pytest's own markers
// are recognised by their exact indentation, so the raw line is tested.
bool has_assertion_indent(std::string_view raw) {
    return starts_with_any(raw, {"E   ", ">       ", "  left:", " right:"});
}

}  // namespace

bool is_unittest_verbose_failure_line(std::string_view s) {
    // The verdict after the last " ... " is the end of the trimmed line.
    if (!ends_with_any(s, {"ERROR", "FAIL"})) return false;
    std::size_t at = s.rfind(" ... ");
    if (at == std::string_view::npos) return false;
    std::string_view before = s.substr(0, at);
    std::string_view after = text::trim(s.substr(at + 5));
    if (text::trim(before).empty() || !text::contains(before, "(") || !text::contains(before, ")")) return false;
    return after == "ERROR" || after == "FAIL";
}

bool is_python_frame_line(std::string_view s) { return s.starts_with("File \"") && text::contains(s, "\", line "); }

bool is_python_exception_line(std::string_view s) {
    std::optional<std::string_view> head = before_first(s, ":");
    if (!head || head->empty()) return false;
    for (char c : *head)
        if (!text::is_ascii_alnum(c) && c != '_' && c != '.') return false;
    return ends_with_any(*head, {"Error", "Exception", "Warning"});
}

bool is_java_exception_line(std::string_view s) {
    if (s.starts_with("Caused by: ")) return true;
    std::optional<std::string_view> head = before_first(s, ":");
    return head && text::contains(*head, ".") && ends_with_any(*head, {"Exception", "Error"});
}

bool is_dotnet_failure_line(std::string_view s) {
    return starts_with_any(s, {"Failed ", "Error Message:", "Stack Trace:", "at "});
}

bool is_rspec_failure_line(std::string_view s) {
    return has_numbered_paren_head(s) ||
           starts_with_any(s, {"# ./", "# /", "rspec ", "Failure/Error:", "expected", "got:"});
}

bool is_minitest_failure_line(std::string_view s) {
    std::size_t at = s.find(") ");
    if (at != std::string_view::npos && starts_with_any(s.substr(at + 2), {"Failure:", "Error:"})) return true;
    if (text::contains(s, "[") && text::contains(s, ".rb:") && s.ends_with("]:")) return true;
    return starts_with_any(s, {"Expected", "Actual", "Failure:", "Error:"});
}

bool is_assert_or_raise_source_line(std::string_view s) {
    return starts_with_any(s, {"assert ", "self.assert", "raise "});
}

bool is_playwright_numbered_failure_line(std::string_view s) {
    return has_numbered_paren_head(s) && text::contains(s, kTitleSeparator);
}

bool is_playwright_action_line(std::string_view s) {
    return s.starts_with("- ") &&
           contains_any(s, {"expect", "waiting for", "locator", "page.", "click", "fill", "press", "goto"});
}

bool is_playwright_source_focus_line(std::string_view s) { return s.starts_with(">") && text::contains(s, "|"); }

bool looks_like_artifact_path(std::string_view s) {
    if (!text::contains(s, "/")) return false;
    if (starts_with_any(s, {"- ", "http://", "https://"})) return false;
    if (!ends_with_any(s, {".png", ".jpg", ".jpeg", ".webm", ".zip", ".html"})) return false;
    return contains_any(s, {"test-results/", "playwright-report/", "blob-report/", "trace", "screenshot", "video"});
}

bool is_playwright_failure_detail_line(std::string_view s) {
    if (is_playwright_numbered_failure_line(s)) return true;
    if (s.starts_with("[") && text::contains(s, kProjectRowMark)) return true;
    if (starts_with_any(s, {"Test timeout", "TimeoutError:", "Locator:", "Timeout:", "Usage:", "locator.",
                            "Expected:", "Received:", "Call log:", "attachment #",
                            "Error Context:", "npx playwright show-trace", "page.", "expect."}))
        return true;
    return is_playwright_action_line(s) || is_playwright_source_focus_line(s) || looks_like_artifact_path(s);
}

bool looks_like_path_location(std::string_view s) {
    std::size_t colon = s.find(':');
    while (colon != std::string_view::npos) {
        std::size_t next = s.find(':', colon + 1);
        std::string_view piece =
            s.substr(colon + 1, next == std::string_view::npos ? std::string_view::npos : next - colon - 1);
        if (piece.empty() || is_digit_run(piece)) {
            std::string_view path = s.substr(0, colon);
            if (path.empty() || text::contains(path, "://")) return false;
            std::size_t len = 0;
            if (text::is_whitespace(text::decode_at(path, 0, len))) return false;
            return contains_any(path, {"/", "\\", "."});
        }
        colon = next;
    }
    return false;
}

bool is_failure_detail_line(std::string_view line) {
    std::string_view t = text::trim(line);
    if (starts_with_any(t, {kCheckMark, kBallotX, kTimesSign, "-"}) && text::contains(t, kProjectRowMark)) return false;

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

    std::string_view p = t;
    if (std::optional<std::string_view> rest = after_prefix(t, kPointer)) p = text::trim(*rest);
    if (looks_like_path_location(p)) return true;

    if (has_assertion_indent(line)) return true;
    if (starts_with_any(t, {"left:", "right:"})) return true;
    return t.starts_with("test ") && text::contains(t, " ... FAILED");
}

bool is_playwright_attention_line(std::string_view line) {
    std::string_view t = text::trim(line);
    return text::contains_ignore_case(t, "retry #") || (t.starts_with("[") && text::contains(t, kProjectRowMark));
}

bool is_jest_numbered_context(std::string_view s) {
    std::optional<std::string_view> head = before_first(s, "|");
    return head && is_digit_run(text::trim(*head));
}

}  // namespace filters::test_runner::summary
