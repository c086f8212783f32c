// Path helpers of the git filter: the test that tells a file path from
// other tab-separated text, and the tree rendering of a group of paths.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/tree.h"

namespace filters::git {

// True for a plausible file path: holds a separator, is a well-known bare
// file name, or ends in a short alphanumeric extension. Quotes around the
// text are ignored; URLs and texts over 300 bytes are not paths.
bool looks_git_path_like(std::string_view text);

// The tree row of one listed path. A path that git ends with "/" (an
// untracked or ignored directory) keeps that "/" on its leaf line: the tree
// drops empty components, and the bare name would read as a file.
tree::TreeRow git_path_row(std::string path);

// The rows rendered as a tree, followed by the rows of escaped quoted
// paths, each as its path and suffix: lines joined with "\n", "" for no
// rows; nothing when the tree would exceed `max_bytes`. Deep paths print
// one indent byte per level on every line, so a long path would otherwise
// render to a size quadratic in its length; callers pass the size of the
// text the rendering would replace.
std::optional<std::string> render_git_tree(const std::vector<tree::TreeRow>& rows, std::size_t max_bytes);

// The paths of one group as tree lines with one leading blank, followed by
// the paths that cannot sit in a tree (renames " -> ", paths with a tab,
// escaped quoted paths), each with one leading blank. Nothing when the tree would exceed
// `max_bytes`.
std::optional<std::vector<std::string>> format_git_paths(const std::vector<std::string>& paths, std::size_t max_bytes);

}  // namespace filters::git
