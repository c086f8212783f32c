#include "filters/test_runner/reducer.h"

#include "filters/filters.h"

namespace filters::test_runner::reducer {

std::optional<std::string> try_compress_test_runner_output(std::string_view /*text*/) { return std::nullopt; }

std::string compress_test_runner_output(std::string_view text) { return or_input(try_compress_test_runner_output(text), text); }

}  // namespace filters::test_runner::reducer
