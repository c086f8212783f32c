// The build-compiler filter: compiler, type-checker, linter and build-tool
// diagnostics under a "build diagnostics:" headline, with bounded context.
#pragma once

#include <string>
#include <string_view>

#include "filters/filter.h"

namespace filters::build_compiler::reducer {

// Inside the pipeline: the shortened text, or nothing when the text is not
// this filter's kind of output or the summary would not be smaller.
Attempt try_compress_build_compiler_diagnostics_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_build_compiler_diagnostics_output(std::string_view text);

}  // namespace filters::build_compiler::reducer
