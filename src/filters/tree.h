// Prints a list of paths as an indented tree: one space per level,
// directories as "name/", leaves as name + suffix, in first-seen order.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace filters::tree {

struct TreeRow {
    std::string path;                  // "/" and "\" both separate components
    std::string suffix;                // printed right after the leaf name
    std::vector<std::string> details;  // lines one level deeper than the row
};

// One node of the path tree. Nodes live in one arena (a vector) and refer to
// their children by index, so a path of a million components neither
// recurses nor nests destructors.
struct TreeNode {
    std::vector<std::pair<std::string, std::size_t>> children;  // name, node index; first-seen order
    std::vector<TreeRow> rows;                                  // rows whose path ends here
};

// The tree's lines joined with "\n" (no final newline); "" for no rows.
std::string format_tree(const std::vector<TreeRow>& rows);

// As format_tree, but gives nothing as soon as the rendering would exceed
// `max_bytes`: deep paths print quadratically many indent bytes, and a
// caller that only wants a smaller text can stop early.
std::optional<std::string> format_tree_within(const std::vector<TreeRow>& rows, std::size_t max_bytes);

// Appends the lines of the subtree under `node` (index into `nodes`), the
// node's children at `depth`. Iterative.
void render_tree(const std::vector<TreeNode>& nodes, std::size_t node, std::vector<std::string>& lines,
                 std::size_t depth);

}  // namespace filters::tree
