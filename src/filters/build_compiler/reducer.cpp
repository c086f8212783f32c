#include "filters/build_compiler/reducer.h"

#include "filters/filters.h"

namespace filters::build_compiler::reducer {

std::optional<std::string> try_compress_build_compiler_diagnostics_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_build_compiler_diagnostics_output(std::string_view text) { return or_input(try_compress_build_compiler_diagnostics_output(text), text); }

}  // namespace filters::build_compiler::reducer
