// The "rg" filter: code-search results, one hit per line behind its path or
// numbered lines under a path heading, printed grouped by file as a path
// tree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"

namespace filters::rg {

// One result line, read with its colour sequences removed.
struct RgEntry {
    std::string path;
    std::string line;                   // the line number as written: 1-9 then digits
    std::string text;                   // the rest after the number (and column); not trimmed
    std::optional<std::string> column;  // matching lines only, when given
    bool is_context = false;            // "N-text" rather than "N:text"
};

// One item of a block: an entry, or a "--" separator (no entry).
using RgItem = std::optional<RgEntry>;

// The shortened text, or nothing when the text holds no result block or no
// block gets smaller.
Attempt try_compress_rg_output(const FilterInput& input);

// The filter: the shortened text, or a copy of the input.
std::string compress_rg_output(std::string_view text);

// The lines that replace one block: its tree, or its own lines when the tree
// is not smaller, when fewer than two items are entries, when no entry is a
// matching line, or when more than one entry reads as a compiler diagnostic.
std::vector<std::string> compress_rg_block(const std::vector<std::string_view>& lines,
                                           const std::vector<RgItem>& items);

// "path:N:text", "path:N:C:text" or the context form "path-N-text".
std::optional<RgEntry> parse_path_location_line(std::string_view line);
// "N:text", "N:C:text" or "N-text" under the heading `path`.
std::optional<RgEntry> parse_heading_entry_line(std::string_view line, std::string_view path);

// A search result's path: one token with a path shape ("/", "\", "." or a
// leading "~"), not a number, a URL or quoted text; at most 240 bytes.
bool looks_like_rg_path(std::string_view text);

}  // namespace filters::rg
