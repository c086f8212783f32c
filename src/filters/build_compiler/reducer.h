#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "filters/build_compiler/summary.h"

namespace filters::build_compiler::reducer {

// The shortened text, or nothing when the text is not this filter's kind of
// output or the summary would not be smaller.
std::optional<std::string> try_compress_build_compiler_diagnostics_output(std::string_view text);

// The filter: the shortened text, or a copy of the input.
std::string compress_build_compiler_diagnostics_output(std::string_view text);

// How a kept diagnostic, file header or summary line is printed. `line` has
// its colour codes removed and its trailing whitespace trimmed.
std::string normalize_for_signal(std::string_view line, std::string_view tool);

// How many following lines may be kept as context of the trimmed `line`.
std::uint64_t diagnostic_context_budget(std::string_view tool, std::string_view line);
std::uint64_t diagnostic_context_budget(std::string_view tool, const summary::PreparedLine& line);

// The trimmed `line` is the tool's file header.
bool is_diagnostic_file_header(std::string_view tool, std::string_view line);
bool is_diagnostic_file_header(std::string_view tool, const summary::PreparedLine& line);

}  // namespace filters::build_compiler::reducer
