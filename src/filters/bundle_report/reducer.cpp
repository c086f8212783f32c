#include "filters/bundle_report/reducer.h"

#include "filters/filter.h"

namespace filters::bundle_report::reducer {

Attempt try_compress_bundle_report_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_bundle_report_output(std::string_view text) { return run_alone(&try_compress_bundle_report_output, text); }

}  // namespace filters::bundle_report::reducer
