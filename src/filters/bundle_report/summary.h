// The statistical summary of a successful bundler report: the progress
// lines, asset counts by extension and directory, size ranges and the
// largest assets as a path tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "filters/bundle_report/detector.h"

namespace filters::bundle_report::summary {

// The summary lines of a recognised report, headline first.
std::vector<std::string> summarize_bundle_report(const std::vector<std::string_view>& lines,
                                                 const detector::BundleReport& report);

}  // namespace filters::bundle_report::summary
