#include "filters/traceback/reducer.h"

#include "filters/filter.h"

namespace filters::traceback::reducer {

Attempt try_compress_traceback_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_traceback_output(std::string_view text) { return run_alone(&try_compress_traceback_output, text); }

}  // namespace filters::traceback::reducer
