#include "filters/filters.h"

#include <algorithm>

#include "filters/bundle_report/bundle_report.h"
#include "text.h"

#include "filters/build_compiler/reducer.h"
#include "filters/bundle_report/reducer.h"
#include "filters/ci_job_log/reducer.h"
#include "filters/diff/reducer.h"
#include "filters/generic_log/reducer.h"
#include "filters/git/git.h"
#include "filters/html_cleanup/reducer.h"
#include "filters/json_payload/reducer.h"
#include "filters/listing/reducer.h"
#include "filters/log_template/reducer.h"
#include "filters/mixed_transcript/detector.h"
#include "filters/mixed_transcript/reducer.h"
#include "filters/node_stack_trace/reducer.h"
#include "filters/opaque_payload/reducer.h"
#include "filters/package_manager/reducer.h"
#include "filters/repeated_diagnostic/reducer.h"
#include "filters/rg/rg.h"
#include "filters/system_output/reducer.h"
#include "filters/table/reducer.h"
#include "filters/test_runner/reducer.h"
#include "filters/traceback/reducer.h"

namespace filters {

const std::array<FilterEntry, kFilterCount>& filter_table() {
    static constexpr std::array<FilterEntry, kFilterCount> table{{
        {"git", &filters::git::try_compress_git_output, false},
        {"diff", &filters::diff::reducer::try_compress_diff_output, false},
        {"test-runner", &filters::test_runner::reducer::try_compress_test_runner_output, false, true},
        {"ci-job-log", &filters::ci_job_log::reducer::try_compress_ci_job_log_output, false},
        {"traceback", &filters::traceback::reducer::try_compress_traceback_output, false},
        {"json", &filters::json_payload::reducer::try_compress_json_payload_output, false},
        {"html", &filters::html_cleanup::reducer::try_compress_html_cleanup_output, false},
        {"opaque-payload", &filters::opaque_payload::reducer::try_compress_opaque_payload_output, false},
        {"system-output", &filters::system_output::reducer::try_compress_system_output, false},
        {"bundle-report", &filters::bundle_report::reducer::try_compress_bundle_report_output, true},
        {"table", &filters::table::reducer::try_compress_table_output, false},
        {"listing", &filters::listing::reducer::try_compress_listing_output, false},
        {"build-compiler", &filters::build_compiler::reducer::try_compress_build_compiler_diagnostics_output, false,
         true},
        {"rg", &filters::rg::try_compress_rg_output, false},
        {"package-manager", &filters::package_manager::reducer::try_compress_package_manager_output, false},
        {"repeated-diagnostic", &filters::repeated_diagnostic::reducer::try_compress_repeated_diagnostic_output, false},
        {"mixed-transcript", &filters::mixed_transcript::reducer::try_compress_mixed_transcript_output, false},
        {"node-stack-trace", &filters::node_stack_trace::reducer::try_compress_node_stack_trace_output, false},
        {"log-template", &filters::log_template::reducer::try_compress_log_template_output, false},
        {"generic-log", &filters::generic_log::reducer::try_compress_generic_log_output, false},
    }};
    return table;
}

std::string apply_filter_pipeline_excluding(std::string&& text, const std::vector<std::string_view>& excluded) {
    std::string current = std::move(text);
    // Nothing but line ends (trailing blanks are gone by now) gives no filter
    // anything to keep; on tens of millions of them, walking every filter's
    // line loop would cost seconds for nothing.
    if (current.find_first_not_of('\n') == std::string::npos) return current;
    // The lines of the current text, found once and again only after a
    // filter has replaced the text.
    text::LineIndex lines(current);
    // Whether the current text is a transcript of several commands: asked
    // only when a candidate would replace it, since segmenting a text costs
    // a pass over it, and at most once for each text.
    bool asked = false, transcript = false;
    const auto is_transcript = [&] {
        if (!asked) transcript = mixed_transcript::detector::is_multi_command_transcript(lines);
        asked = true;
        return transcript;
    };
    for (const FilterEntry& entry : filter_table()) {
        if (std::find(excluded.begin(), excluded.end(), entry.name) != excluded.end()) continue;
        if (Attempt candidate = entry.filter(FilterInput{current, lines})) {
            if (text::is_smaller_output(*candidate, current) && !(entry.leaves_transcripts && is_transcript())) {
                current = std::move(*candidate);
                lines = text::LineIndex(current);
                asked = false;
            }
        }
        if (entry.stop_after && bundle_report::is_diagnostic_bundle_report_output(current)) break;
    }
    return current;
}

std::string apply_filter_pipeline_excluding(std::string_view text, const std::vector<std::string_view>& excluded) {
    return apply_filter_pipeline_excluding(std::string(text), excluded);
}

}  // namespace filters
