// Path helpers of the git filter: the test that tells a file path from
// other tab-separated text, and the tree rendering of a group of paths.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filters/git/passes.h"
#include "filters/tree.h"

namespace filters::git {

// True for a plausible file path: holds a separator, is a well-known bare
// file name, or ends in a short alphanumeric extension. Quotes around the
// text are ignored; URLs and texts over 300 bytes are not paths.
bool looks_git_path_like(std::string_view text);

// A row of a path tree: the path and what its leaf line ends with. Both
// view the pass's text (or a text the caller keeps), so that a block of a
// million paths makes no copy of them.
struct GitPathRow {
    std::string_view path;
    std::string_view suffix;
};

// The tree row of one listed path. A path that git ends with "/" (an
// untracked or ignored directory) keeps that "/" on its leaf line: the tree
// drops empty components, and the bare name would read as a file.
// The suffix of a row whose path ends with "/" or not. Sized rather than
// chosen: no branch on a byte that a row of a large list has likely just
// brought in from memory.
inline std::string_view git_row_suffix(bool ends_with_slash) { return std::string_view("/", ends_with_slash ? 1 : 0); }

inline GitPathRow git_path_row(std::string_view path) { return GitPathRow{path, git_row_suffix(path.ends_with('/'))}; }

// The rows drawn as a tree, followed by the rows of escaped quoted paths,
// each as its path and suffix: lines joined with "\n", "" for no rows;
// nothing when the tree would exceed `max_bytes`. Deep paths print one
// indent byte per level on every line, so a long path would otherwise
// render to a size quadratic in its length; callers pass the size of the
// text the rendering would replace.
std::optional<std::string> render_git_tree(std::span<const GitPathRow> rows, std::size_t max_bytes);

// Rows that a pass keeps in a form of its own (where their lines stand in
// its text) and lends one at a time: `row(context, i)` for i < count, as
// the tree draws it (path and suffix). What the pass knows of the paths as
// it reads their lines spares a look at every row: `any_quote` false
// promises that no path holds a double quote, so none is an escaped quoted
// path; `longest` is at least the byte size of every path.
struct GitRowSource {
    std::size_t count = 0;
    tree::RowAt row = nullptr;
    const void* context = nullptr;
    bool any_quote = true;
    std::size_t longest = static_cast<std::size_t>(-1);
};

// The lines render_git_tree draws for the rows a source lends, each
// `indent` spaces in, added to `out` as lines of its own; false when the
// tree would exceed the room `out` has left.
bool add_git_tree(Rendering& out, const GitRowSource& rows, std::size_t indent);

// The paths of one group as tree lines with one leading blank, followed by
// the paths that cannot sit in a tree (renames " -> ", paths with a tab,
// escaped quoted paths), each with one leading blank. Nothing when the tree would exceed
// `max_bytes`.
std::optional<std::vector<std::string>> format_git_paths(const std::vector<std::string>& paths, std::size_t max_bytes);

}  // namespace filters::git
