#include "filters/git/stat.h"

#include <vector>

#include "filters/git/paths.h"
#include "filters/git/types.h"
#include "text.h"

namespace filters::git {
namespace {

bool is_bar_graph(std::string_view s) {
    for (char c : s)
        if (c != '+' && c != '-') return false;
    return true;
}

}  // namespace

std::optional<GitStatRow> parse_git_stat_line(std::string_view line) {
    std::size_t bar = line.rfind('|');
    if (bar == std::string_view::npos) return std::nullopt;
    std::string_view path = text::trim(line.substr(0, bar));
    std::string_view stat = text::trim(line.substr(bar + 1));
    if (path.empty() || stat.empty()) return std::nullopt;
    if (path.size() >= 3 && (path.starts_with("---") || path.starts_with("+++"))) return std::nullopt;
    bool has_graph = true;
    if (!stat.starts_with("Bin ")) {
        std::vector<std::string_view> tokens = text::split_whitespace(stat);
        if (tokens.empty() || tokens.size() > 2) return std::nullopt;
        if (tokens[0] != "-" && !text::is_ascii_digits(tokens[0])) return std::nullopt;
        if (tokens.size() == 2 && !is_bar_graph(tokens[1])) return std::nullopt;
        has_graph = tokens.size() == 2;
    }
    return GitStatRow{tree::TreeRow{std::string(path), text::format(" | {}", stat), {}}, has_graph};
}

bool is_git_stat_summary_line(std::string_view line) {
    std::string_view trimmed = text::trim(line);
    std::optional<std::pair<std::string_view, std::string_view>> split = text::split_once_whitespace(trimmed);
    std::string_view first = split ? split->first : trimmed;
    if (!text::is_ascii_digits(first)) return false;
    return text::contains(trimmed, " file changed") || text::contains(trimmed, " files changed");
}

std::optional<std::string> compress_git_stat_runs(std::string_view text) {
    const std::string_view body = git_body(text);
    PassOutput out(text);
    std::size_t begin = 0, end = 0;
    for (std::size_t floor = 0; find_line_holding(body, '|', floor, begin, end); floor = end + 1) {
        std::optional<GitStatRow> first = parse_git_stat_line(body.substr(begin, end - begin));
        if (!first) continue;
        std::vector<tree::TreeRow> rows;
        bool any_graph = first->has_graph;
        rows.push_back(std::move(first->row));
        end = extend_over_lines(body, end, [&](std::string_view line) {
            std::optional<GitStatRow> next = parse_git_stat_line(line);
            if (!next) return false;
            any_graph = any_graph || next->has_graph;
            rows.push_back(std::move(next->row));
            return true;
        });
        std::vector<std::string> candidate;
        end = extend_over_lines(body, end, [&](std::string_view line) {
            if (!is_git_stat_summary_line(line)) return false;
            candidate.emplace_back(text::trim(line));
            return true;
        });
        // Without git's summary line, only a bar graph tells a stat run from
        // a table whose last column happens to be a number.
        if (candidate.empty() && !any_graph) continue;
        if (candidate.empty()) candidate.push_back(text::format("git diff --stat: files={}", rows.size()));
        std::optional<std::vector<std::string>> tree_lines = render_tree_lines(rows, end - begin);
        if (!tree_lines) continue;
        candidate.insert(candidate.end(), std::make_move_iterator(tree_lines->begin()),
                         std::make_move_iterator(tree_lines->end()));
        out.place_unit(begin, end, candidate);
    }
    return std::move(out).finish();
}

}  // namespace filters::git
