// Sections of git diff and git show output, from one "diff --git " line to
// the next: context lines inside hunks and binary patch payloads become
// counting markers, "index " lines go. The later "diff" filter reads both
// markers back, so their wording must not change.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text.h"

namespace filters::git {

// Header lines of a section ("--- ", "rename from ", "GIT binary patch"...).
bool is_diff_metadata_line(std::string_view line);

// True for a line that starts a section.
inline bool starts_diff_section(std::string_view line) { return line.starts_with("diff --git "); }

// The pass: each section shortened when smaller; nothing when none changed.
// `lines` are the lines of `text`, when the caller has them.
std::optional<std::string> compress_git_diff_sections(std::string_view text, const text::LineIndex& lines);
std::optional<std::string> compress_git_diff_sections(std::string_view text);

}  // namespace filters::git
