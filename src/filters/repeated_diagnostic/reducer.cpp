#include "filters/repeated_diagnostic/reducer.h"

#include <algorithm>
#include <vector>

#include "filters/repeated_diagnostic/detector.h"
#include "filters/repeated_diagnostic/summary.h"

namespace filters::repeated_diagnostic::reducer {

namespace {

constexpr std::size_t kMinRunLines = 4;
constexpr std::size_t kMinNativeSummaryLines = 4;

Attempt summarize_native_trace(const text::LineIndex& lines, std::string_view text) {
    const std::optional<types::NativeTraceSignal> signal = detector::detect_native_trace_unowned(lines);
    if (!signal) return std::nullopt;
    summary::FoldedLines out = summary::summarize_native_trace(*signal, lines);
    if (out.line_count() < kMinNativeSummaryLines) return std::nullopt;
    std::string joined = out.take(lines.final_newline());
    if (!text::is_smaller_output(joined, text)) return std::nullopt;
    return joined;
}

Attempt summarize_repeated_diagnostics(const text::LineIndex& lines, std::string_view text) {
    const std::optional<types::DiagnosticSignal> signal = detector::detect_repeated_diagnostics_unowned(lines);
    if (!signal) return std::nullopt;
    const auto& templates = signal->line_templates;
    auto is_repeated = [&](const std::string& tmpl) {
        return std::binary_search(signal->repeated_templates.begin(), signal->repeated_templates.end(), tmpl);
    };

    summary::FoldedLines out;
    out.add(headline::kRepeatedDiagnostics);
    bool changed = false;
    std::vector<std::string_view> run_lines;
    std::vector<const types::DiagnosticTemplate*> run_templates;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (!templates[i] || !is_repeated(templates[i]->template_text)) {
            out.add(lines[i++]);
            continue;
        }
        const std::string& tmpl = templates[i]->template_text;
        std::size_t end = i + 1;
        while (end < lines.size() && templates[end] && templates[end]->template_text == tmpl) ++end;
        if (end - i < kMinRunLines) {
            for (; i < end; ++i) out.add(lines[i]);
            continue;
        }
        run_lines.clear();
        run_templates.clear();
        for (; i < end; ++i) {
            run_lines.push_back(lines[i]);
            run_templates.push_back(&*templates[i]);
        }
        summary::write_run_summary(out, run_lines, run_templates);
        changed = true;
    }
    if (!changed) return std::nullopt;
    std::string joined = out.take(lines.final_newline());
    if (!text::is_smaller_output(joined, text)) return std::nullopt;
    return joined;
}

}  // namespace

Attempt try_compress_repeated_diagnostic_output(const FilterInput& input) {
    const detector::Prospects prospects = detector::assess_prospects(input.lines);
    if (!prospects.native_trace && !prospects.repeated_diagnostics) return std::nullopt;
    const detector::GuardEvidence guard = detector::gather_guard_evidence(input.lines);
    if (prospects.native_trace && !guard.owns(true))
        if (Attempt native = summarize_native_trace(input.lines, input.text)) return native;
    if (!prospects.repeated_diagnostics || guard.owns(false)) return std::nullopt;
    return summarize_repeated_diagnostics(input.lines, input.text);
}

std::string compress_repeated_diagnostic_output(std::string_view text) {
    return run_alone(&try_compress_repeated_diagnostic_output, text);
}

}  // namespace filters::repeated_diagnostic::reducer
