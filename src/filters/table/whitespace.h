// Tables whose columns are aligned with spaces alone: tool reports,
// benchmark results, listings with a header line and an optional dashed
// separator under it.
#pragma once

#include <optional>

#include "filters/table/model.h"

namespace filters::table::whitespace {

// The report found with its header on one of the first ten lines, the one
// with the most rows winning (the upper one on a tie), or nothing.
std::optional<model::StructuredTable> parse_whitespace_report(model::Lines lines);

// Whether the first lines of a text could hold such a report: a header on
// one of the first ten lines whose run of rows either reaches the end of
// these lines or is long enough. False means `parse_whitespace_report`
// finds nothing in the whole text.
bool may_hold_report(model::Lines first_lines);

}  // namespace filters::table::whitespace
