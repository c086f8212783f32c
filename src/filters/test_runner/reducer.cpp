#include "filters/test_runner/reducer.h"

#include <optional>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "filters/filter.h"
#include "filters/test_runner/detector.h"
#include "filters/test_runner/go_jsonl.h"
#include "filters/test_runner/summary.h"
#include "text.h"

namespace filters::test_runner::reducer {

using detector::TestRunnerKind;

namespace {

constexpr char kEsc = '\x1B';

bool is_printable_ascii(char c) { return c >= 0x20 && c <= 0x7E; }

// Bytes that the clean-up may remove or that start a sequence. Bytes from
// 0x80 up are always kept, so the walk can go byte by byte.
bool needs_attention(char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F; }

// Whether the clean-up has anything to do: some byte below 0x20 other than
// TAB and LF, or DEL. Sixteen bytes per step, as most texts hold none.
bool has_byte_to_clean(std::string_view s) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i max_control = _mm_set1_epi8(0x1F), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  del = _mm_set1_epi8(0x7F);
    auto hits = [&](std::size_t at) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at));
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(x, max_control), x);
        const __m128i allowed = _mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, lf));
        return _mm_or_si128(_mm_andnot_si128(allowed, control), _mm_cmpeq_epi8(x, del));
    };
    // Four blocks a step, their hits joined before the one test.
    for (; i + 64 <= s.size(); i += 64) {
        const __m128i hit = _mm_or_si128(_mm_or_si128(hits(i), hits(i + 16)), _mm_or_si128(hits(i + 32), hits(i + 48)));
        if (_mm_movemask_epi8(hit) != 0) return true;
    }
    for (; i + 16 <= s.size(); i += 16)
        if (_mm_movemask_epi8(hits(i)) != 0) return true;
#endif
    for (; i < s.size(); ++i)
        if (needs_attention(s[i])) return true;
    return false;
}

// Length of the CSI sequence at `i` (ESC "[" ... final) that the clean-up
// drops, or 0 when there is none to drop.
std::size_t droppable_csi_length(std::string_view s, std::size_t i) {
    std::size_t j = i + 2;
    while (j < s.size() && s[j] >= 0x20 && s[j] <= 0x3F) ++j;
    if (j >= s.size() || s[j] < 0x40 || s[j] > 0x7E) return 0;
    char final = s[j];
    std::string_view params = s.substr(i + 2, j - i - 2);
    bool drop = std::string_view("ABCDEFGJKm").find(final) != std::string_view::npos ||
                ((final == 'h' || final == 'l') && params.starts_with("?25"));
    return drop ? j + 1 - i : 0;
}

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

// The text without colour, cursor-movement, erase and hide-cursor sequences,
// character-set selections and control characters other than TAB and LF.
// Sequences it does not know stay whole, their ESC included.
std::string clean_terminal_text(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (!needs_attention(c)) {
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == kEsc && i + 1 < s.size()) {
            char next = s[i + 1];
            if (next == '[') {
                if (std::size_t n = droppable_csi_length(s, i)) {
                    i += n;
                    continue;
                }
            } else if ((next == '(' || next == ')' || next == '*' || next == '+') && i + 2 < s.size() &&
                       is_printable_ascii(s[i + 2])) {
                i += 3;
                continue;
            }
        }
        if (c == kEsc) out.push_back(c);
        ++i;
    }
    return out;
}

}  // namespace

Attempt try_compress_test_runner_output(const FilterInput& input) {
    // The lines of the cleaned text; the pipeline's when nothing is cleaned.
    std::string cleaned;
    std::optional<text::LineIndex> cleaned_lines;
    if (has_byte_to_clean(input.text)) {
        cleaned = clean_terminal_text(input.text);
        cleaned_lines.emplace(cleaned);
    }
    const text::LineIndex& lines = cleaned_lines ? *cleaned_lines : input.lines;
    const bool final_newline = lines.text().ends_with('\n');
    if (!detector::may_hold_test_run(lines.text())) return std::nullopt;

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
