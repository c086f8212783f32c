// Runs of diff --stat lines ("path | 12 ++--") with their summary line,
// rendered as the summary and a tree of the paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::git {

// A cheap test that every line of a stat run passes, given the text after
// the line's last "|": it may begin a stat (a digit, "-", "Bin ").
bool may_begin_git_stat(std::string_view after_last_bar);

// "N file(s) changed, ..." with N a plain number.
bool is_git_stat_summary_line(std::string_view line);

// The pass: each run rendered when smaller; nothing when no run changed.
std::optional<std::string> compress_git_stat_runs(std::string_view text);

}  // namespace filters::git
