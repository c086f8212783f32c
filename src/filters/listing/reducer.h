// The "listing" filter: file listings print as a path tree, with every
// generated or vendor directory that holds many entries collapsed into one
// counted row.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"
#include "filters/listing/detector.h"

namespace filters::listing::reducer {

// The shortened text, or nothing when the text is no listing or the tree
// would not be smaller.
Attempt try_compress_listing_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_listing_output(std::string_view text);

// The components of a path: "\" read as "/", leading "./" dropped, empty
// pieces dropped, a leading "/" kept on the first component; "." for none.
std::vector<std::string> path_parts(std::string_view path);
// The first `n` components joined with "/"; "." for none.
std::string path_from_parts(const std::vector<std::string>& parts, std::size_t n);
// The components up to and including the first generated or vendor
// directory (node_modules, target, .git, venv, ...), or none.
std::optional<std::vector<std::string>> generated_prefix(std::string_view path);
// The entry's path below its first `n` components, with its suffix.
std::string relative_entry(const detector::ListingEntry& entry, std::size_t n);

}  // namespace filters::listing::reducer
