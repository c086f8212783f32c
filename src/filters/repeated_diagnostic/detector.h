// Recognises the family's two shapes: runs of repeated diagnostic lines and
// native or sanitizer crash reports; both refuse text that another filter
// owns or has already summarised.
#pragma once

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
    bool trace_marker = false;

    bool owns(bool native_mode) const { return owned || (build_or_package && !(native_mode && trace_marker)); }
};
GuardEvidence gather_guard_evidence(const text::LineIndex& lines);

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
std::optional<types::DiagnosticSignal> detect_repeated_diagnostics_unowned(const text::LineIndex& lines);
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
Prospects assess_prospects(const text::LineIndex& lines);

}  // namespace filters::repeated_diagnostic::detector
