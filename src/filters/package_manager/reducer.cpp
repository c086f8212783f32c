#include "filters/package_manager/reducer.h"

#include "filters/filter.h"

namespace filters::package_manager::reducer {

Attempt try_compress_package_manager_output(const FilterInput& /*input*/) { return std::nullopt; }

std::string compress_package_manager_output(std::string_view text) { return run_alone(&try_compress_package_manager_output, text); }

}  // namespace filters::package_manager::reducer
