#include "filters/git/paths.h"

#include <cstdint>

#include "text.h"

namespace filters::git {
namespace {

constexpr std::string_view kBareFileNames[] = {"README", "uv.lock", "Makefile", "Dockerfile", "Cargo.lock"};

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Number of levels the tree gives a path: its non-empty components, "/" and
// "\" both separating, after the leading "./" pieces the tree drops.
std::uint64_t component_count(std::string_view path) {
    while (path.size() > 2 && path[0] == '.' && is_separator(path[1])) path.remove_prefix(2);
    std::uint64_t count = 0;
    bool in_component = false;
    for (char c : path) {
        if (is_separator(c)) {
            in_component = false;
        } else if (!in_component) {
            in_component = true;
            ++count;
        }
    }
    return count;
}

// True for a path that git printed in C quotes with escapes, such as
// "na\303\257ve.md" for a name that is not ASCII: its backslashes are no
// separators, so the path cannot sit in a tree.
bool is_escaped_quoted_path(std::string_view path) {
    return path.find('"') != std::string_view::npos && path.find('\\') != std::string_view::npos;
}

}  // namespace

bool looks_git_path_like(std::string_view text) {
    const std::string_view s = text::trim_chars(text::trim(text), "\"");
    if (s.empty() || s.size() > 300) return false;
    if (text::contains(s, "://")) return false;
    if (s.find_first_of("/\\") != std::string_view::npos) return true;
    for (std::string_view name : kBareFileNames)
        if (s == name) return true;
    std::size_t dot = s.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    std::string_view ext = s.substr(dot + 1);
    if (ext.empty() || ext.size() > 12) return false;
    for (char c : ext)
        if (!text::is_ascii_alnum(c)) return false;
    return true;
}

tree::TreeRow git_path_row(std::string path) {
    std::string suffix = path.ends_with('/') ? "/" : "";
    return tree::TreeRow{std::move(path), std::move(suffix), {}};
}

std::optional<std::string> render_git_tree(const std::vector<tree::TreeRow>& rows, std::size_t max_bytes) {
    bool any_listed = false;
    for (const tree::TreeRow& row : rows) {
        if (is_escaped_quoted_path(row.path)) {
            any_listed = true;
            continue;
        }
        // The deepest row alone prints a line at every depth above its leaf,
        // so its indents add up to at least c(c-1)/2 bytes for c components.
        // Seeing that early spares building a tree of a million nodes for
        // nothing.
        std::uint64_t c = component_count(row.path);
        if (c >= (std::uint64_t{1} << 32) || c * (c - 1) / 2 > max_bytes) return std::nullopt;
    }
    if (!any_listed) return tree::format_tree_within(rows, max_bytes);
    std::vector<tree::TreeRow> tree_rows;
    for (const tree::TreeRow& row : rows)
        if (!is_escaped_quoted_path(row.path)) tree_rows.push_back(row);
    std::string out;
    if (!tree_rows.empty()) {
        std::optional<std::string> rendering = tree::format_tree_within(tree_rows, max_bytes);
        if (!rendering) return std::nullopt;
        out = std::move(*rendering);
    }
    for (const tree::TreeRow& row : rows) {
        if (!is_escaped_quoted_path(row.path)) continue;
        if (!out.empty()) out.push_back('\n');
        out.append(row.path).append(row.suffix);
    }
    return out;
}

std::optional<std::vector<std::string>> format_git_paths(const std::vector<std::string>& paths, std::size_t max_bytes) {
    std::vector<tree::TreeRow> rows;
    std::vector<std::string_view> listed;
    for (const std::string& path : paths) {
        if (text::contains(path, " -> ") || path.find('\t') != std::string::npos || is_escaped_quoted_path(path))
            listed.push_back(path);
        else
            rows.push_back(git_path_row(path));
    }
    std::vector<std::string> lines;
    if (!rows.empty()) {
        std::optional<std::string> rendering = render_git_tree(rows, max_bytes);
        if (!rendering) return std::nullopt;
        for (std::string_view line : text::split_on_newline(*rendering)) lines.push_back(text::format(" {}", line));
    }
    for (std::string_view path : listed) lines.push_back(text::format(" {}", path));
    return lines;
}

}  // namespace filters::git
