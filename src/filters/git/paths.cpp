#include "filters/git/paths.h"

#include <cstdint>

#include "filters/tree.h"
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

namespace {

// Appends the rows' lines to `out` (see add_git_tree): the tree within
// `max_bytes`, then the escaped quoted paths.
bool append_git_tree(std::string& out, const GitRowSource& rows, std::size_t max_bytes, std::size_t indent,
                     bool newline_first) {
    auto path_at = [&rows](std::size_t i) { return rows.row(rows.context, i).path; };
    // The deepest row alone prints a line at every depth above its leaf,
    // so its indents add up to at least c(c-1)/2 bytes for c components.
    // Seeing that early spares building a tree of a million nodes for
    // nothing. A path has no more components than bytes, so a path of at
    // most `longest` bytes needs no count when that many would fit.
    auto depth_fits = [max_bytes](std::uint64_t bytes) {
        return bytes < (std::uint64_t{1} << 32) && bytes * (bytes - (bytes > 0)) / 2 <= max_bytes;
    };
    bool any_listed = false;
    if (rows.any_quote || !depth_fits(rows.longest)) {
        for (std::size_t i = 0; i < rows.count; ++i) {
            const std::string_view path = path_at(i);
            if (rows.any_quote && is_escaped_quoted_path(path)) {
                any_listed = true;
                continue;
            }
            if (depth_fits(path.size())) continue;
            std::uint64_t c = component_count(path);
            if (c >= (std::uint64_t{1} << 32) || c * (c - 1) / 2 > max_bytes) return false;
        }
    }
    if (!any_listed)
        return tree::append_row_views_within(out, rows.count, rows.row, rows.context, max_bytes, indent,
                                             newline_first);
    std::vector<std::size_t> in_tree;
    for (std::size_t i = 0; i < rows.count; ++i)
        if (!is_escaped_quoted_path(path_at(i))) in_tree.push_back(i);
    const std::size_t before = out.size();
    if (!in_tree.empty() &&
        !tree::append_row_views_within(
            out, in_tree.size(), [&](std::size_t k) { return rows.row(rows.context, in_tree[k]); }, max_bytes,
            indent, newline_first))
        return false;
    for (std::size_t i = 0; i < rows.count; ++i) {
        const tree::TreeRowView row = rows.row(rows.context, i);
        if (!is_escaped_quoted_path(row.path)) continue;
        if (newline_first || out.size() > before) out.push_back('\n');
        out.append(indent, ' ').append(row.path).append(row.suffix);
    }
    return true;
}

// A source lending the rows of a span, which must outlive it.
GitRowSource span_source(const std::span<const GitPathRow>& rows) {
    GitRowSource source;
    source.count = rows.size();
    source.row = [](const void* context, std::size_t i) {
        const GitPathRow& row = (*static_cast<const std::span<const GitPathRow>*>(context))[i];
        return tree::TreeRowView{row.path, row.suffix, {}};
    };
    source.context = &rows;
    return source;
}

}  // namespace

std::optional<std::string> render_git_tree(std::span<const GitPathRow> rows, std::size_t max_bytes) {
    std::string out;
    if (!append_git_tree(out, span_source(rows), max_bytes, 0, false)) return std::nullopt;
    return out;
}

bool add_git_tree(Rendering& out, const GitRowSource& rows, std::size_t indent) {
    return out.add_lines([&](std::string& text, std::size_t room, bool newline_first) {
        return append_git_tree(text, rows, room, indent, newline_first);
    });
}

std::optional<std::vector<std::string>> format_git_paths(const std::vector<std::string>& paths, std::size_t max_bytes) {
    std::vector<GitPathRow> rows;
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
