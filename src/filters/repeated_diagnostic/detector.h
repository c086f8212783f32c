// Recognises the family's two shapes: runs of repeated diagnostic lines and
// native or sanitizer crash reports; both refuse text that another filter
// owns or has already summarised.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "filters/repeated_diagnostic/types.h"
#include "text.h"

namespace filters::repeated_diagnostic::detector {

// What the ownership guard found in the text's trimmed nonblank lines.
struct GuardEvidence {
    bool owned = false;  // a test that does not depend on the mode hit
    bool build_or_package = false;
    bool trace_marker = false;  // looked for only beside build or package phrases

    bool owns(bool native_mode) const { return owned || (build_or_package && !(native_mode && trace_marker)); }
};

// The guard's tests, run one line at a time so that the scan can stop at
// the first line that settles them, and so that the same pass can tell
// which lines may carry a diagnostic signal.
class GuardScan {
public:
    // `line_count` bounds the guard lines from above. With `stop_on_build`,
    // a build or package phrase ends the scan as owned (for a caller that
    // has no native trace to look for).
    GuardScan(std::uint64_t line_count, bool stop_on_build);
    void stop_on_build() { stop_on_build_ = true; }
    // A build or package phrase was met: repeated diagnostics are refused.
    bool owns_diagnostics_so_far() const { return owned_ || build_or_package_; }

    // Reads the next line; true once the text is owned whatever the mode,
    // after which no more lines are needed. `may_signal`, when given, tells
    // whether the line may carry a diagnostic signal.
    bool add(std::string_view line, bool* may_signal);
    // The answer once every line has been read.
    GuardEvidence finish(const text::LineIndex& lines) const;

private:
    std::uint64_t line_count_;
    bool stop_on_build_;
    bool owned_ = false;
    bool build_or_package_ = false;
    std::uint64_t guard_lines_ = 0;
    std::uint64_t json_records_ = 0;
    std::uint64_t pipe_lines_ = 0;
    std::string_view only_line_;
    bool rule_line_ = false;
    bool minus_header_ = false;
    bool plus_header_ = false;
    bool ran_tests_ = false;
    bool test_verdict_ = false;
};

// Whether the text belongs to another filter (its headline, JSON records,
// a diff, test or CI output, a table, build or package output, a secret).
// `native_mode` lets sanitizer and crash markers outweigh build phrases.
bool has_other_filter_ownership(const text::LineIndex& lines, bool native_mode);

// Some line names a sanitizer, a runtime error or a segmentation fault.
bool has_strong_native_trace_marker(const text::LineIndex& lines);

// The templates that recur often enough to fold, or nothing.
std::optional<types::DiagnosticSignal> detect_repeated_diagnostics(const text::LineIndex& lines);

// The frames and headline of a native crash report, or nothing.
std::optional<types::NativeTraceSignal> detect_native_trace(const text::LineIndex& lines);

// The same two detectors once the guard has been asked (the filter asks it
// once for both).
// `may_have_template`, when given, marks the only lines worth templating.
std::optional<types::DiagnosticSignal> detect_repeated_diagnostics_unowned(
    const text::LineIndex& lines, const std::vector<bool>* may_have_template = nullptr);
std::optional<types::NativeTraceSignal> detect_native_trace_unowned(const text::LineIndex& lines);

// What the family may find in the text, judged from line starts and line
// lengths alone, before any line is read through: whether enough lines can
// be frames, and whether enough can be diagnostics. False for both, or a
// line start that shows a diff, a test run or a CI log, lets the filter
// decline without a full pass.
struct Prospects {
    bool native_trace = false;
    bool repeated_diagnostics = false;
};
// With `diagnostics_possible` false (the guard already refused them), only
// frames are counted.
Prospects assess_prospects(const text::LineIndex& lines, bool diagnostics_possible);

// What the text's bytes tell before its lines are read through: whether at
// least five lines start, after blanks, with "#" and a digit or with a
// terminal code (no native trace without), whether the text holds a
// terminal code, and whether repeated diagnostics stay possible at all. They
// are not unless four lines in a row each hold a signal stem or a terminal
// code (a folded run needs four lines with templates in a row; where lines
// are long, also leading tokens that the template keeps as they are must
// agree from line to line, as one template demands), and, in a
// text without terminal codes, eight lines and 35 % of the lines that start
// with a visible character hold a stem (the templates of the repeated lines
// must cover eight lines and 35 % of the nonblank lines).
struct TextFacts {
    bool enough_frame_starts = false;
    bool has_escape = false;
    bool diagnostics_possible = true;
};
// With `diagnostics_possible` false (the guard already refused them), only
// the frames are looked for.
TextFacts scan_text_facts(const text::LineIndex& lines, bool diagnostics_possible);

// assess_prospects once the text's facts are known.
Prospects assess_prospects(const text::LineIndex& lines, bool diagnostics_possible, const TextFacts& facts);

}  // namespace filters::repeated_diagnostic::detector
