#include "filters/bundle_report/bundle_report.h"

#include <cstring>

#include "filters/bundle_report/detector.h"
#include "text.h"

namespace filters::bundle_report {

bool is_diagnostic_bundle_report_output(std::string_view text) {
    // Without colour codes or carriage returns a line's normalised form is a
    // plain substring of the text, so a report's required stage phrase can be
    // looked for once over the whole text before any line is parsed.
    bool raw_is_normal = std::memchr(text.data(), '\x1b', text.size()) == nullptr &&
                         std::memchr(text.data(), '\r', text.size()) == nullptr;
    if (raw_is_normal && !text::contains_ignore_case(text, "computing gzip size")) return false;
    auto report = detector::detect_bundle_report(text::lines_of(text));
    return report && report->has_diagnostics;
}

}  // namespace filters::bundle_report
