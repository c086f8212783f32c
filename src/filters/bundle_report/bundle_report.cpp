#include "filters/bundle_report/bundle_report.h"

#include "filters/bundle_report/detector.h"
#include "text.h"

namespace filters::bundle_report {

bool is_diagnostic_bundle_report_output(std::string_view text) {
    if (!detector::may_hold_gzip_stage(text)) return false;
    auto report = detector::detect_bundle_report(text::lines_of(text));
    return report && report->has_diagnostics;
}

}  // namespace filters::bundle_report
