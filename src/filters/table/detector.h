// Recognises a table in the whole text: refuses text whose context rules a
// table summary out, then tries the structured shapes at the top and below
// a short preamble, then the whitespace-aligned reports.
#pragma once

#include <optional>
#include <vector>

#include "filters/table/model.h"

namespace filters::table::detector {

using model::Lines;
using model::StructuredTable;

// Code, tracebacks, fenced blocks, path-location listings and diagnostics.
bool has_hard_blocking_context(Lines lines);

// Every structured table found, in the order tried: at the top first, then
// below 1 to 8 preamble lines; at each start MySQL box, Unicode box, psql,
// markdown pipe, SQLite column. Skipped preamble lines lead the header.
std::vector<StructuredTable> parse_structured_table_blocks(Lines lines);

// Whether a table could start in these first lines of a text (the first 24
// suffice): some shape's header at the top or below a safe preamble, or an
// aligned report's header with rows under it. False means
// `parse_structured_table` finds nothing in the whole text, so the rest
// need not be split.
bool may_hold_table(Lines first_lines);

// The first structured table with more than 8 rows, else an aligned report
// with more than 8 rows, else nothing.
std::optional<StructuredTable> parse_structured_table(Lines lines);

}  // namespace filters::table::detector
