#pragma once

#include <string_view>

namespace filters::bundle_report {

// The pipeline's stop test: true when the text is a bundler build report
// that carries warnings or errors, which no later filter may touch.
bool is_diagnostic_bundle_report_output(std::string_view text);

}  // namespace filters::bundle_report
