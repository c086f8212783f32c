#include "filters/git/stat.h"

#include <vector>

#include "filters/git/passes.h"
#include "filters/git/paths.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::string_view kBinaryStat = "Bin ";

bool is_bar_graph(std::string_view s) {
    for (char c : s)
        if (c != '+' && c != '-') return false;
    return true;
}

// The parts of a stat line, as views into it.
struct StatFields {
    std::string_view path;  // trimmed text left of the last "|"
    std::string_view stat;  // trimmed text right of it
    bool has_graph = false;
};

std::optional<StatFields> parse_stat_fields(std::string_view line) {
    std::size_t bar = line.rfind('|');
    if (bar == std::string_view::npos) return std::nullopt;
    // The stat is looked at first: it is what other lines with a "|" (a
    // compiler's source gutter, a table row) lack.
    std::string_view stat = text::trim(line.substr(bar + 1));
    if (stat.empty() || !(text::is_ascii_digit(stat[0]) || stat[0] == '-' || stat.starts_with(kBinaryStat)))
        return std::nullopt;
    std::string_view path = text::trim(line.substr(0, bar));
    if (path.empty()) return std::nullopt;
    if (path.size() >= 3 && (path.starts_with("---") || path.starts_with("+++"))) return std::nullopt;
    if (stat.starts_with(kBinaryStat)) return StatFields{path, stat, true};
    // A count, or "-" for a binary file, and an optional bar graph.
    std::string_view count = stat;
    std::string_view graph;
    if (const auto split = text::split_once_whitespace(stat)) {
        count = split->first;
        graph = split->second;
        if (graph.empty() || text::split_once_whitespace(graph) || !is_bar_graph(graph)) return std::nullopt;
    }
    if (count != "-" && !text::is_ascii_digits(count)) return std::nullopt;
    return StatFields{path, stat, !graph.empty()};
}

// A cheap test that the stat of every stat line passes, given the text
// after the line's last "|": after any ASCII blanks comes a digit, "-", the
// "B" of "Bin ", or a byte that may begin other white space. A compiler's
// source gutter ("12 |   code") or a table row ("| a | b |") fails it.
bool may_be_stat(std::string_view after_bar) {
    std::size_t i = 0;
    while (i < after_bar.size() && text::is_ascii_whitespace(after_bar[i])) ++i;
    if (i == after_bar.size()) return false;
    const char c = after_bar[i];
    return text::is_ascii_digit(c) || c == '-' || c == 'B' || static_cast<unsigned char>(c) >= 0x80;
}

tree::TreeRow stat_row(const StatFields& fields) {
    std::string suffix;
    suffix.reserve(3 + fields.stat.size());
    suffix.append(" | ").append(fields.stat);
    return tree::TreeRow{std::string(fields.path), std::move(suffix), {}};
}

}  // namespace

std::optional<GitStatRow> parse_git_stat_line(std::string_view line) {
    const std::optional<StatFields> fields = parse_stat_fields(line);
    if (!fields) return std::nullopt;
    return GitStatRow{stat_row(*fields), fields->has_graph};
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
    for (std::size_t floor = 0;; floor = end + 1) {
        // The next line that holds a "|", read from that "|" to the line's
        // end first: most such lines in other output fail there, before
        // their start is looked for or their fields are split.
        const std::size_t hit = body.find('|', floor);
        if (hit == std::string_view::npos) break;
        end = line_end(body, hit);
        const std::size_t last_bar = body.rfind('|', end - 1);
        if (!may_be_stat(body.substr(last_bar + 1, end - last_bar - 1))) continue;
        begin = line_start(body, hit, floor);
        const std::optional<StatFields> first = parse_stat_fields(body.substr(begin, end - begin));
        if (!first) continue;
        // The run is measured first, so that its rows are made once, in a
        // list of the exact size, and only for a run that can be rendered:
        // a run of a million lines is most of the memory this filter needs,
        // and a table whose last column is a number is a run too.
        std::size_t rows_in_run = 1;
        bool any_graph = first->has_graph;
        const std::size_t first_end = end;
        const std::size_t rows_end = extend_over_lines(body, end, [&](std::string_view line) {
            const std::optional<StatFields> fields = parse_stat_fields(line);
            if (!fields) return false;
            any_graph = any_graph || fields->has_graph;
            ++rows_in_run;
            return true;
        });
        std::vector<std::string_view> summaries;
        end = extend_over_lines(body, rows_end, [&](std::string_view line) {
            if (!is_git_stat_summary_line(line)) return false;
            summaries.push_back(text::trim(line));
            return true;
        });
        // Without git's summary line, only a bar graph tells a stat run from
        // a table whose last column happens to be a number.
        if (summaries.empty() && !any_graph) continue;
        std::vector<tree::TreeRow> rows;
        rows.reserve(rows_in_run);
        for (std::size_t pos = begin; pos <= rows_end;) {
            const std::size_t line_stop = pos == begin ? first_end : line_end(body, pos);
            rows.push_back(stat_row(*parse_stat_fields(body.substr(pos, line_stop - pos))));
            pos = line_stop + 1;
        }
        Rendering candidate(end - begin);
        for (std::string_view summary : summaries) candidate.add(summary);
        if (summaries.empty()) candidate.add(text::format("git diff --stat: files={}", rows.size()));
        std::optional<std::string> tree_text = render_git_tree(rows, candidate.room());
        std::vector<tree::TreeRow>().swap(rows);
        if (!tree_text) continue;
        candidate.add_indented(*tree_text, "");
        if (candidate.over_budget()) continue;
        out.place_unit(begin, end, candidate.text());
    }
    return std::move(out).finish();
}

}  // namespace filters::git
