// Which table rows are worth keeping however long the table is.
#pragma once

#include <string_view>

namespace filters::table::summary {

// A row that names a severity, a URL, a path, a UUID, a commit hash, an
// issue key or a long identifier after "id=", "uuid:", "hash=" and the like.
bool is_interesting_row(std::string_view row);

// "id=", "id:", "id ", "uuid=", "uuid:", "hash=", "hash:", "sha=" or "sha:"
// followed by at least 8 of A-Z, a-z, 0-9, "_" and "-", looking at the first
// occurrence of each marker only. `lowered` is the row with ASCII letters
// lower-cased; since ASCII case is ignored, the row itself gives the same.
bool has_named_id_marker(std::string_view lowered);

}  // namespace filters::table::summary
