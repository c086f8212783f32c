// Tables whose columns are aligned with spaces alone: tool reports,
// benchmark results, listings with a header line and an optional dashed
// separator under it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "filters/table/model.h"

namespace filters::table::whitespace {

// The report found with its header on one of the first ten lines, the one
// with the most rows winning (the upper one on a tie), or nothing.
std::optional<model::StructuredTable> parse_whitespace_report(std::span<const std::string_view> lines);

}  // namespace filters::table::whitespace
