// Runs of diff --stat lines ("path | 12 ++--") with their summary line,
// rendered as the summary and a tree of the paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text.h"

namespace filters::git {

// A cheap test that every line of a stat run passes, given the text after
// the line's last "|": after any ASCII blanks comes a digit, "-", the "B"
// of "Bin ", or a byte that may begin other white space. A compiler's
// source gutter ("12 | code") or a table row ("| a | b |") fails it.
// Inline: the filter's first look asks it of every line that holds a "|".
inline bool may_begin_git_stat(std::string_view after_last_bar) {
    // Blanks and tabs, a gutter's or a stat's padding, are passed over
    // eight at a time.
    std::size_t i = text::leading_blanks(after_last_bar);
    while (i < after_last_bar.size() && text::is_ascii_whitespace(after_last_bar[i])) ++i;
    if (i == after_last_bar.size()) return false;
    const char c = after_last_bar[i];
    return text::is_ascii_digit(c) || c == '-' || c == 'B' || static_cast<unsigned char>(c) >= 0x80;
}

// "N file(s) changed, ..." with N a plain number.
bool is_git_stat_summary_line(std::string_view line);

// The pass: each run rendered when smaller; nothing when no run changed.
std::optional<std::string> compress_git_stat_runs(std::string_view text);

}  // namespace filters::git
