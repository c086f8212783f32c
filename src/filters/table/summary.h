// Which table rows are worth keeping however long the table is.
#pragma once

#include <string_view>

namespace filters::table::summary {

// A row that names a severity, a URL, a path, a UUID, a commit hash, an
// issue key or a long identifier after "id=", "uuid:", "hash=" and the like.
bool is_interesting_row(std::string_view row);

// `lowered` is the row with ASCII letters lower-cased.
bool has_named_id_marker(std::string_view lowered);

}  // namespace filters::table::summary
