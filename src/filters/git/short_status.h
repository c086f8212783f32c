// Blocks of short status lines ("XY path") and "## " branch lines,
// rendered as per-code counts and trees of the paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "filters/git/types.h"
#include "text.h"

namespace filters::git {

// A line that a block may hold: a "## " branch line or a status line.
bool is_git_status_block_line(std::string_view line);
std::optional<GitStatusEntry> parse_git_status_line(std::string_view line);

// The pass: each block rendered when smaller; nothing when no block changed.
// `lines` are the lines of `text`, when the caller has them.
std::optional<std::string> compress_git_short_status(std::string_view text, const text::LineIndex& lines);
std::optional<std::string> compress_git_short_status(std::string_view text);

}  // namespace filters::git
