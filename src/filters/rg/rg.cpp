#include "filters/rg/rg.h"

#include "filters/filter.h"

namespace filters::rg {

Attempt try_compress_rg_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_rg_output(std::string_view text) { return run_alone(&try_compress_rg_output, text); }

}  // namespace filters::rg
