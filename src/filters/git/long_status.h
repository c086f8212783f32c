// The long form of git status: branch lines, section headers, indented
// entries and hints, rewritten as per-section counts and trees of paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/git/types.h"

namespace filters::git {

struct GitLongStatusSection {
    std::string name;                     // the header without its colon
    std::vector<GitStatusEntry> entries;  // code: the kind of change, or "path"
};

// The section name when the line is exactly one of git's section headers.
std::optional<std::string_view> git_long_status_category(std::string_view line);

// "kind:   path" gives that kind and path; any other line is a plain path
// of the kind "path".
GitStatusEntry parse_git_long_status_entry(std::string_view line);

// The pass: the whole text rewritten when it is a long status and the
// summary is smaller; nothing otherwise.
std::optional<std::string> compress_git_long_status(std::string_view text);

}  // namespace filters::git
