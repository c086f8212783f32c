#include "filters/repeated_diagnostic/reducer.h"

#include "filters/filter.h"

namespace filters::repeated_diagnostic::reducer {

Attempt try_compress_repeated_diagnostic_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_repeated_diagnostic_output(std::string_view text) { return run_alone(&try_compress_repeated_diagnostic_output, text); }

}  // namespace filters::repeated_diagnostic::reducer
