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
namespace {

// ------------------------------------------------------------------ signs --
// What each family's detector cannot accept a text without, declared
// beside its entry: every group must have a sign in the current text (the
// input, or what earlier filters made of it), or the family is not asked.
// A sign is declared only where the detector declines every text that
// lacks it; the comment above each says why it does. A family that strips
// colour codes (ESC "[" ...) from its lines before it reads them takes ESC
// as one more sign of each group, as a code may split any phrase. Families
// with no such literal (git, test-runner, opaque-payload, system-output,
// table, listing, build-compiler, rg, package-manager, repeated-diagnostic,
// mixed-transcript, log-template) declare none.

// diff: a block begins at a "diff --git ", "diff --cc " or "diff --combined "
// line, or holds a "--- " line (an "Index: " block is kept only with its
// "--- "/"+++ " pair, and a bare pair starts at its "--- ").
constexpr Sign kDiffBlockSigns[] = {{"diff --"}, {"--- "}};
constexpr SignGroup kDiffSigns[] = {{kDiffBlockSigns}};

// ci-job-log: a job log has a workflow command line, whose message begins
// "##[" or "::" ("::group::", "::error" ...; the whole commands would take
// seven signs, which the scan would look for together at more cost).
constexpr Sign kWorkflowCommandSigns[] = {{"##["}, {"::"}};
constexpr SignGroup kCiJobLogSigns[] = {{kWorkflowCommandSigns}};

// traceback: a traceback begins with its header line, in this letter case.
constexpr Sign kTracebackHeaderSigns[] = {{"Traceback (most recent call last):"}};
constexpr SignGroup kTracebackSigns[] = {{kTracebackHeaderSigns}};

// json: a document is bracketed, and JSON Lines records are objects.
constexpr Sign kJsonOpeningSigns[] = {{"{"}, {"["}};
constexpr SignGroup kJsonSigns[] = {{kJsonOpeningSigns}};

// html: a page ends with "</html>", in any letter case.
constexpr Sign kHtmlEndSigns[] = {{"</html>", true}};
constexpr SignGroup kHtmlSigns[] = {{kHtmlEndSigns}};

// bundle-report, and the stop test after it: a report holds the bundler's
// "computing gzip size" stage, in any letter case; ESC and "\r" may hide
// the phrase until its line is normalised.
constexpr Sign kGzipStageSigns[] = {{"computing gzip size", true}, {"\x1b"}, {"\r"}};
constexpr SignGroup kBundleReportSigns[] = {{kGzipStageSigns}};

// node-stack-trace: a trace has a headline, whose first word ends in
// "Error" or "Exception" or which begins "UnhandledPromiseRejection", read
// after colour codes are removed.
constexpr Sign kNodeHeadlineSigns[] = {{"Error"}, {"Exception"}, {"UnhandledPromiseRejection"}, {"\x1b"}};
constexpr SignGroup kNodeStackTraceSigns[] = {{kNodeHeadlineSigns}};

// generic-log: only lines of low severity are folded, and a log needs five
// of them: their level word is INFO, DEBUG or TRACE, in any letter case.
constexpr Sign kLowSeveritySigns[] = {{"info", true}, {"debug", true}, {"trace", true}};
constexpr SignGroup kGenericLogSigns[] = {{kLowSeveritySigns}};

}  // namespace

const std::array<FilterEntry, kFilterCount>& filter_table() {
    static constexpr std::array<FilterEntry, kFilterCount> table{{
        {"git", &filters::git::try_compress_git_output, false},
        {.name = "diff",
         .filter = &filters::diff::reducer::try_compress_diff_output,
         .stop_after = false,
         .signs = kDiffSigns},
        {"test-runner", &filters::test_runner::reducer::try_compress_test_runner_output, false, true},
        {.name = "ci-job-log",
         .filter = &filters::ci_job_log::reducer::try_compress_ci_job_log_output,
         .stop_after = false,
         .signs = kCiJobLogSigns},
        {.name = "traceback",
         .filter = &filters::traceback::reducer::try_compress_traceback_output,
         .stop_after = false,
         .signs = kTracebackSigns},
        {.name = "json",
         .filter = &filters::json_payload::reducer::try_compress_json_payload_output,
         .stop_after = false,
         .signs = kJsonSigns},
        {.name = "html",
         .filter = &filters::html_cleanup::reducer::try_compress_html_cleanup_output,
         .stop_after = false,
         .signs = kHtmlSigns},
        {"opaque-payload", &filters::opaque_payload::reducer::try_compress_opaque_payload_output, false},
        {"system-output", &filters::system_output::reducer::try_compress_system_output, false},
        {.name = "bundle-report",
         .filter = &filters::bundle_report::reducer::try_compress_bundle_report_output,
         .stop_after = true,
         .signs = kBundleReportSigns,
         .stop_signs = kBundleReportSigns},
        {"table", &filters::table::reducer::try_compress_table_output, false},
        {"listing", &filters::listing::reducer::try_compress_listing_output, false},
        {"build-compiler", &filters::build_compiler::reducer::try_compress_build_compiler_diagnostics_output, false,
         true},
        {"rg", &filters::rg::try_compress_rg_output, false},
        {"package-manager", &filters::package_manager::reducer::try_compress_package_manager_output, false},
        {"repeated-diagnostic", &filters::repeated_diagnostic::reducer::try_compress_repeated_diagnostic_output, false},
        {"mixed-transcript", &filters::mixed_transcript::reducer::try_compress_mixed_transcript_output, false},
        {.name = "node-stack-trace",
         .filter = &filters::node_stack_trace::reducer::try_compress_node_stack_trace_output,
         .stop_after = false,
         .signs = kNodeStackTraceSigns},
        {"log-template", &filters::log_template::reducer::try_compress_log_template_output, false},
        {.name = "generic-log",
         .filter = &filters::generic_log::reducer::try_compress_generic_log_output,
         .stop_after = false,
         .signs = kGenericLogSigns},
    }};
    return table;
}

const SignSet& table_signs() {
    static const SignSet set = [] {
        std::vector<Sign> signs;
        auto add = [&signs](std::span<const SignGroup> groups) {
            for (const SignGroup& group : groups)
                for (const Sign& sign : group.any_of)
                    if (std::find(signs.begin(), signs.end(), sign) == signs.end()) signs.push_back(sign);
        };
        for (const FilterEntry& entry : filter_table()) {
            add(entry.signs);
            add(entry.stop_signs);
        }
        return SignSet(std::move(signs));
    }();
    return set;
}

FirstLook first_look(std::string_view text) { return FirstLook(text, table_signs()); }

std::string apply_filter_pipeline_excluding(std::string&& text, const std::vector<std::string_view>& excluded,
                                            Skipping skipping) {
    std::string current = std::move(text);
    // Nothing but line ends (trailing blanks are gone by now) gives no filter
    // anything to keep; on tens of millions of them, walking every filter's
    // line loop would cost seconds for nothing.
    if (current.find_first_not_of('\n') == std::string::npos) return current;
    // The lines of the current text and the first look at it, found once
    // and again only after a filter has replaced the text.
    text::LineIndex lines(current);
    FirstLook look = first_look(current);
    const auto signs_hold = [&](std::span<const SignGroup> groups) {
        return skipping == Skipping::off || look.holds_all(groups);
    };
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
        if (!signs_hold(entry.signs)) {
            // Declined without being asked: its detector needs a sign the
            // text does not hold.
        } else if (Attempt candidate = entry.filter(FilterInput{current, lines, look, skipping})) {
            if (text::is_smaller_output(*candidate, current) && !(entry.leaves_transcripts && is_transcript())) {
                current = std::move(*candidate);
                lines = text::LineIndex(current);
                look = first_look(current);
                asked = false;
            }
        }
        if (entry.stop_after && signs_hold(entry.stop_signs) &&
            bundle_report::is_diagnostic_bundle_report_output(current))
            break;
    }
    return current;
}

std::string apply_filter_pipeline_excluding(std::string_view text, const std::vector<std::string_view>& excluded) {
    return apply_filter_pipeline_excluding(std::string(text), excluded);
}

std::string apply_filter_pipeline_excluding(std::string_view text, const std::vector<std::string_view>& excluded,
                                            Skipping skipping) {
    return apply_filter_pipeline_excluding(std::string(text), excluded, skipping);
}

}  // namespace filters
