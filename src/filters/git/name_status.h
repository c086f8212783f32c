// Runs of name-status lines ("M<TAB>path", "R100<TAB>old<TAB>new"),
// rendered as per-status counts and trees of the paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::git {

struct GitNameStatusEntry {
    std::string status;  // the whole first field, such as M or R100
    std::string path;    // the path, or "old -> new" for a rename or copy
};

std::optional<GitNameStatusEntry> parse_git_name_status_line(std::string_view line);

// A cheap test that every line with an entry passes: a status letter, and
// the tab that ends the status within the first five bytes.
bool may_be_git_name_status_line(std::string_view line);

// The pass: runs of three or more entries rendered when smaller; nothing
// when no run changed.
std::optional<std::string> compress_git_name_status_runs(std::string_view text);

}  // namespace filters::git
