#include "filters/test_runner/reducer.h"

#include <optional>
#include <unordered_set>
#include <vector>

#include "filters/filter.h"
#include "filters/test_runner/detector.h"
#include "filters/test_runner/first_look.h"
#include "filters/test_runner/go_jsonl.h"
#include "filters/test_runner/summary.h"
#include "filters/test_runner/terminal.h"
#include "text.h"

namespace filters::test_runner::reducer {

using detector::TestRunnerKind;

namespace {

// Lines longer than this on average make a text of few, long lines.
constexpr std::size_t kLongLineBytes = 1024;

// The kept lines of a recognised run for its runner and outcome, written
// as they are chosen: blank lines and adjacent repeats are dropped.
class Selection {
public:
    Selection(TestRunnerKind kind, bool failed, const text::LineIndex& lines)
        : kind_(kind), failed_(failed), phrases_(lines.text()) {
        out_.add(text::format("{} {} {}", headline::kTestOutput, detector::runner_name(kind),
                              failed ? "failure" : "success"));
        if (kind_ == TestRunnerKind::playwright) collect_projects(lines);
    }

    void offer(std::string_view line) {
        if (kind_ == TestRunnerKind::unittest && !failed_ && summary::is_unittest_progress_line(line)) {
            out_.add_unless_blank_or_repeat(summary::collapse_unittest_progress_line(line));
            return;
        }
        const bool after_panic = keep_next_;
        keep_next_ = false;
        // cargo lists the targets that failed, one "`-p name --lib`" a line,
        // under its closing "error: 3 targets failed:".
        const bool failed_target = in_failed_targets_ && text::trim(line).starts_with('`');
        in_failed_targets_ = failed_target;
        if (!after_panic && !failed_target && !selects(line)) return;
        out_.add_unless_blank_or_repeat(summary::normalize_selected_line(line));
        // Current cargo prints a panic's message on the line after its
        // "panicked at" location: that line is the failure's cause.
        keep_next_ = kind_ == TestRunnerKind::cargo && failed_ && !after_panic && text::contains(line, "panicked at");
        in_failed_targets_ = failed_target || (kind_ == TestRunnerKind::cargo && failed_ && is_cargo_error_line(line) &&
                                               text::trim(line).ends_with("targets failed:"));
        if (kind_ == TestRunnerKind::playwright && !projects_added_ && !projects_.empty() &&
            summary::is_playwright_run_line(line)) {
            out_.add_unless_blank_or_repeat(text::format("projects: {}", text::join(projects_, ", ")));
            projects_added_ = true;
        }
    }

    SummaryWriter& out() { return out_; }

private:
    bool selects(std::string_view line) {
        const summary::LinePhrases phrases = phrases_.of(line);
        if (failed_)
            return summary::is_summary_or_failure_detail_line(line, phrases) ||
                   (kind_ == TestRunnerKind::jest && is_jest_code_frame(line)) ||
                   (kind_ == TestRunnerKind::go && is_go_panic_line(line)) ||
                   (kind_ == TestRunnerKind::cargo && is_cargo_error_line(line));
        if (summary::is_summary_line(line, phrases)) return true;
        if (kind_ == TestRunnerKind::playwright) return summary::is_playwright_attention_line(line);
        const std::string_view t = text::trim_start(line);
        return t.starts_with("RUN ") || t.starts_with("=== RUN ");
    }

    // A Go panic's cause ("panic: runtime error: ...") or the runtime's own
    // fatal error: the only line that says why the test died.
    static bool is_go_panic_line(std::string_view line) {
        return text::starts_with_any(text::trim(line), {"panic:", "fatal error:"});
    }

    // cargo's own verdict on the run: "error: test failed, to rerun pass
    // `--lib`" after each failed target and, when several failed, "error: 3
    // targets failed:" at the end. They name the targets to run again.
    static bool is_cargo_error_line(std::string_view line) { return text::trim(line).starts_with("error:"); }

    // The caret under a code line ("    |   ^") and the numbered source lines
    // of a code frame ("  > 12 | expect(x)").
    static bool is_jest_code_frame(std::string_view line) {
        std::string_view t = text::trim_start(line);
        if (t.starts_with("|")) {
            if (text::trim_start(t.substr(1)).starts_with("^")) return true;
        } else if (t.starts_with(">")) {
            t = text::trim_start(t.substr(1));
        }
        return summary::is_jest_numbered_context(t);
    }

    void collect_projects(const text::LineIndex& lines) {
        std::unordered_set<std::string_view> seen;
        for (std::string_view line : lines)
            if (const std::optional<std::string_view> name = summary::extract_playwright_project(line))
                if (seen.insert(*name).second) projects_.push_back(*name);
    }

    TestRunnerKind kind_;
    bool failed_;
    summary::PhraseScan phrases_;  // the lines are offered in order
    SummaryWriter out_;
    std::vector<std::string_view> projects_;
    bool projects_added_ = false;
    bool keep_next_ = false;
    bool in_failed_targets_ = false;
};

}  // namespace

Attempt try_compress_test_runner_output(const FilterInput& input) {
    // A text of few, long lines goes to the detector at once: its lines are
    // read in no time, and its searches of the whole text cost less than
    // the first look's, which reads every byte for a sign.
    const bool few_long_lines = input.lines.size() < input.text.size() / kLongLineBytes;
    if (!few_long_lines && !first_look::may_hold_test_run(input.text)) return std::nullopt;
    // The lines of the cleaned text; the pipeline's when nothing is cleaned.
    std::string cleaned;
    std::optional<text::LineIndex> cleaned_lines;
    if (terminal::needs_cleaning(input.text)) {
        cleaned = terminal::clean(input.text);
        cleaned_lines.emplace(cleaned);
    }
    const text::LineIndex& lines = cleaned_lines ? *cleaned_lines : input.lines;
    const bool final_newline = lines.text().ends_with('\n');

    if (std::optional<SummaryWriter> events = go_jsonl::reduce_go_jsonl_lines(lines))
        if (Attempt report = events->take_if_smaller(input.text, final_newline)) return report;

    const std::optional<detector::TestRun> run = detector::detect_test_run(lines);
    if (!run) return std::nullopt;

    Selection selection(run->kind, run->failed, lines);
    for (std::string_view line : lines) selection.offer(line);
    if (selection.out().line_count() < 2) return std::nullopt;
    return selection.out().take_if_smaller(input.text, final_newline);
}

std::string compress_test_runner_output(std::string_view text) {
    return run_alone(&try_compress_test_runner_output, text);
}

}  // namespace filters::test_runner::reducer
