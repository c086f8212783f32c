// The cheap first look of the "rg" filter: where in a text a matching
// search result can stand at all.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace filters::rg::scan {

// Byte offsets, ascending, of the places that may belong to a matching
// result line: a colon that closes "PATH:N:" with a path mark ("/", "\",
// "." or "~") earlier on its line, a colon that closes a line number at
// the start of a line ("N:", the heading layout), and every ESC (colour).
// Every matching result line holds one; most lines of other output hold
// none. Reads the text sixteen bytes at a time.
std::vector<std::size_t> find_match_candidates(std::string_view text);

}  // namespace filters::rg::scan
