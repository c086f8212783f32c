#include "filters/repeated_diagnostic/reducer.h"

#include "filters/filters.h"

namespace filters::repeated_diagnostic::reducer {

std::optional<std::string> try_compress_repeated_diagnostic_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_repeated_diagnostic_output(std::string_view text) { return or_input(try_compress_repeated_diagnostic_output(text), text); }

}  // namespace filters::repeated_diagnostic::reducer
