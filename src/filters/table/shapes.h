// The five table shapes with explicit structure. Each parser is given the
// lines from some start position to the end of the text and demands its
// shape from the first line on; none searches further down.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "filters/table/model.h"

namespace filters::table::shapes {

using Lines = std::span<const std::string_view>;
using model::StructuredTable;

std::optional<StructuredTable> parse_psql_table(Lines lines);
std::optional<StructuredTable> parse_mysql_box_table(Lines lines);
std::optional<StructuredTable> parse_unicode_box_table(Lines lines);
std::optional<StructuredTable> parse_markdown_pipe_table(Lines lines);
std::optional<StructuredTable> parse_sqlite_column_table(Lines lines);

}  // namespace filters::table::shapes
