#include "filters/repeated_diagnostic/reducer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "filters/repeated_diagnostic/detector.h"
#include "filters/repeated_diagnostic/summary.h"

namespace filters::repeated_diagnostic::reducer {

namespace {

using types::kMinRunLines;
constexpr std::size_t kMinNativeSummaryLines = 4;
constexpr std::size_t kHeadLines = 256;
constexpr std::size_t kMaxHeadBytesBeforeFacts = std::size_t{1} << 20;
using types::kMinCoveredPercent;

Attempt summarize_native_trace(const text::LineIndex& lines, std::string_view text) {
    const std::optional<types::NativeTraceSignal> signal = detector::detect_native_trace_unowned(lines);
    if (!signal) return std::nullopt;
    summary::FoldedLines out = summary::summarize_native_trace(*signal, lines);
    if (out.line_count() < kMinNativeSummaryLines) return std::nullopt;
    std::string joined = out.take(lines.final_newline());
    if (!text::is_smaller_output(joined, text)) return std::nullopt;
    return joined;
}

Attempt summarize_repeated_diagnostics(const text::LineIndex& lines, std::string_view text,
                                       const std::vector<bool>& may_have_template) {
    const std::optional<types::DiagnosticSignal> signal =
        detector::detect_repeated_diagnostics_unowned(lines, &may_have_template);
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
    const text::LineIndex& lines = input.lines;
    const std::size_t line_count = lines.size();
    // Most texts that another filter owns show it in their first lines:
    // those are read before anything else, unless they are so long that the
    // one pass over the text's bytes costs less.
    const std::size_t head = std::min(line_count, kHeadLines);
    const std::size_t head_bytes = head < line_count ? lines.start(head) : input.text.size();
    detector::GuardScan guard(line_count, false);
    std::optional<detector::TextFacts> facts;
    auto facts_leave_no_chance = [&] {
        if (!facts) facts = detector::scan_text_facts(lines, !guard.owns_diagnostics_so_far());
        return !facts->enough_frame_starts && !facts->diagnostics_possible;
    };
    if (head_bytes > kMaxHeadBytesBeforeFacts && facts_leave_no_chance()) return std::nullopt;
    std::vector<bool> may_have_template(line_count, false);
    for (std::size_t i = 0; i < head; ++i) {
        bool may_signal = false;
        if (guard.add(lines[i], &may_signal)) return std::nullopt;
        may_have_template[i] = may_signal;
    }
    if (facts_leave_no_chance()) return std::nullopt;
    const detector::Prospects prospects =
        detector::assess_prospects(lines, !guard.owns_diagnostics_so_far(), *facts);
    if (!prospects.native_trace && !prospects.repeated_diagnostics) return std::nullopt;
    if (!prospects.native_trace) guard.stop_on_build();

    // Fewer than 35 % of the nonblank lines can have a template once more
    // than 65 % of all lines are nonblank lines without a signal.
    std::uint64_t without_signal = 0;
    for (std::size_t i = 0; i < line_count; ++i) {
        bool may_signal = false;
        if (i >= head && guard.add(lines[i], &may_signal)) return std::nullopt;
        if (i >= head) may_have_template[i] = may_signal;
        if (!may_have_template[i] && !text::trim(lines[i]).empty() &&
            ++without_signal * 100 > line_count * (100 - kMinCoveredPercent) && !prospects.native_trace)
            return std::nullopt;
    }
    const detector::GuardEvidence evidence = guard.finish(lines);
    if (prospects.native_trace && !evidence.owns(true))
        if (Attempt native = summarize_native_trace(lines, input.text)) return native;
    if (!prospects.repeated_diagnostics || evidence.owns(false)) return std::nullopt;
    return summarize_repeated_diagnostics(lines, input.text, may_have_template);
}

std::string compress_repeated_diagnostic_output(std::string_view text) {
    return run_alone(&try_compress_repeated_diagnostic_output, text);
}

}  // namespace filters::repeated_diagnostic::reducer
