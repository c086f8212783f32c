#include "filters/bundle_report/reducer.h"

#include "filters/bundle_report/detector.h"
#include "filters/bundle_report/summary.h"
#include "filters/filter.h"
#include "text.h"

namespace filters::bundle_report::reducer {
namespace {

// A summary of the headline alone says nothing the report did not.
constexpr std::size_t kMinSummaryLines = 2;

}  // namespace

Attempt try_compress_bundle_report_output(const FilterInput& input) {
    if (!detector::may_hold_gzip_stage(input.text)) return std::nullopt;
    const text::Lines split = input.lines.to_lines();
    const auto report = detector::detect_bundle_report(split.lines);
    // A report with warnings or errors is kept whole, and the pipeline
    // stops after this entry so that nothing else shortens it either.
    if (!report || report->has_diagnostics) return std::nullopt;
    const std::vector<std::string> summary = summary::summarize_bundle_report(split.lines, *report);
    if (summary.size() < kMinSummaryLines) return std::nullopt;
    std::string out = text::join_lines(summary, split.final_newline);
    if (!text::is_smaller_output(out, input.text)) return std::nullopt;
    return out;
}

std::string compress_bundle_report_output(std::string_view text) {
    return run_alone(&try_compress_bundle_report_output, text);
}

}  // namespace filters::bundle_report::reducer
