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
    // Folded runs make the text shorter, but a text with few of them may
    // come out longer: it is given up once it passes the input's size.
    summary::FoldedLines out = summary::FoldedLines::within(text);
    out.add(headline::kRepeatedDiagnostics);
    bool changed = false;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (out.exceeded()) return std::nullopt;
        if (!signal->has_repeated_template(i)) {
            out.add(lines[i++]);
            continue;
        }
        const std::uint32_t id = signal->line_templates[i];
        std::size_t end = i + 1;
        while (end < lines.size() && signal->line_templates[end] == id) ++end;
        if (end - i < kMinRunLines) {
            for (; i < end; ++i) out.add(lines[i]);
            continue;
        }
        summary::write_run_summary(out, lines, i, end, signal->templates[id]);
        i = end;
        changed = true;
    }
    if (!changed || out.exceeded()) return std::nullopt;
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
