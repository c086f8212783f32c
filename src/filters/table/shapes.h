// The five table shapes with explicit structure. Each parser is given the
// lines from some start position to the end of the text and demands its
// shape from the first line on; none searches further down.
#pragma once

#include <optional>

#include "filters/table/model.h"

namespace filters::table::shapes {

using model::Lines;
using model::StructuredTable;

std::optional<StructuredTable> parse_psql_table(Lines lines);

// Whether a shape's first lines (up to three) hold its header; the parser
// demands this before anything else, so text that fails here is no table
// of that shape whatever follows.
bool opens_psql_table(Lines lines);
bool opens_mysql_box_table(Lines lines);
bool opens_unicode_box_table(Lines lines);
bool opens_markdown_pipe_table(Lines lines);
bool opens_sqlite_column_table(Lines lines);

std::optional<StructuredTable> parse_mysql_box_table(Lines lines);
std::optional<StructuredTable> parse_unicode_box_table(Lines lines);
std::optional<StructuredTable> parse_markdown_pipe_table(Lines lines);
std::optional<StructuredTable> parse_sqlite_column_table(Lines lines);

}  // namespace filters::table::shapes
