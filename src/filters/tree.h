// Prints a list of paths as an indented tree: one space per level,
// directories as "name/", leaves as name + suffix, in first-seen order.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace filters::tree {

struct TreeRow {
    std::string path;                  // "/" and "\" both separate components
    std::string suffix;                // printed right after the leaf name
    std::vector<std::string> details;  // lines one level deeper than the row
};

// A row whose texts live elsewhere: the renderer only borrows them, so a
// caller with a million rows need not copy a million paths into rows first.
struct TreeRowView {
    std::string_view path;
    std::string_view suffix;
    std::span<const std::string> details;
    // More detail lines, drawn after `details`: a caller whose details are
    // already texts elsewhere (parts of its input lines) lends views of them.
    std::span<const std::string_view> detail_views = {};
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

// The rows `row_at(0)` .. `row_at(count - 1)`, as format_tree_within draws
// them. The views a row gives must stay valid until the call returns, and
// each call for the same index must give the same row.
using RowAt = TreeRowView (*)(const void* context, std::size_t index);
std::optional<std::string> format_row_views_within(std::size_t count, RowAt row_at, const void* context,
                                                   std::size_t max_bytes);

// The same for a callable `row_at(index) -> TreeRowView`.
template <class F>
std::optional<std::string> format_row_views_within(std::size_t count, const F& row_at, std::size_t max_bytes) {
    return format_row_views_within(
        count, [](const void* f, std::size_t i) { return (*static_cast<const F*>(f))(i); }, &row_at, max_bytes);
}

// Draws the same lines at the end of `out`, each `indent` spaces further
// in and each after a "\n" except a first one when `newline_first` is
// false, so that a caller building a larger text need not copy the tree
// into it. False as soon as the bytes added would exceed `max_bytes`; `out`
// then holds part of the tree.
bool append_row_views_within(std::string& out, std::size_t count, RowAt row_at, const void* context,
                             std::size_t max_bytes, std::size_t indent, bool newline_first);

template <class F>
bool append_row_views_within(std::string& out, std::size_t count, const F& row_at, std::size_t max_bytes,
                             std::size_t indent, bool newline_first) {
    return append_row_views_within(
        out, count, [](const void* f, std::size_t i) { return (*static_cast<const F*>(f))(i); }, &row_at, max_bytes,
        indent, newline_first);
}

// Appends the lines of the subtree under `node` (index into `nodes`), the
// node's children at `depth`. Iterative.
void render_tree(const std::vector<TreeNode>& nodes, std::size_t node, std::vector<std::string>& lines,
                 std::size_t depth);

}  // namespace filters::tree
