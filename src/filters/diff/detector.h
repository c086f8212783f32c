// Finds the stretches of a text that are unified diffs: git and
// combined-diff sections, "Index: " sections and bare "--- "/"+++ " file
// headers followed by a hunk.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::diff::detector {

// Lines [start, end) of the text's line list.
struct DiffBlock {
    std::size_t start = 0;
    std::size_t end = 0;
};

// The diff blocks of the lines, in ascending order, never overlapping.
std::vector<DiffBlock> find_diff_blocks(const text::LineIndex& lines);

// "@@ -a,b +c,d @@ ..." or the combined form "@@@ -a -b +c @@@".
bool is_hunk_header(std::string_view line);

// A range token of a hunk header: `sign`, then one or two comma-separated
// runs of ASCII digits.
bool parse_range(std::string_view token, char sign);

// Lines that start a new file section of any kind of diff; they end every
// block.
bool starts_file_section(std::string_view line);

// File metadata of a git section: modes, similarity, renames and copies.
bool is_metadata_line(std::string_view line);

}  // namespace filters::diff::detector
