#include "filters/html_cleanup/reducer.h"

#include "filters/filter.h"

namespace filters::html_cleanup::reducer {

Attempt try_compress_html_cleanup_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_html_cleanup_output(std::string_view text) { return run_alone(&try_compress_html_cleanup_output, text); }

}  // namespace filters::html_cleanup::reducer
