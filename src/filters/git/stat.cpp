#include "filters/git/stat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "filters/git/passes.h"
#include "filters/git/paths.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::string_view kBinaryStat = "Bin ";

// Only "+" and "-". A graph is tens of bytes long on every line of a run,
// so eight are looked at together: as xor with "+", each byte must be 0
// ("+") or 6 ("-"), that is no bit but the two middle ones, and those two
// alike.
bool is_bar_graph(std::string_view s) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    std::size_t i = 0;
    for (; s.size() - i >= 8; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        const std::uint64_t x = word ^ (kOnes * '+');
        if ((x & (kOnes * 0xF9)) != 0 || ((x ^ (x >> 1)) & (kOnes * 0x02)) != 0) return false;
    }
    for (; i < s.size(); ++i)
        if (s[i] != '+' && s[i] != '-') return false;
    return true;
}

// The parts of a stat line, as views into it.
struct StatFields {
    std::string_view path;  // trimmed text left of the last "|"
    std::string_view stat;  // trimmed text right of it
    bool has_graph = false;
};

std::optional<StatFields> parse_stat_fields(std::string_view line) {
    const void* last_bar = memrchr(line.data(), '|', line.size());
    if (last_bar == nullptr) return std::nullopt;
    const std::size_t bar = static_cast<std::size_t>(static_cast<const char*>(last_bar) - line.data());
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
    // The common stat, ASCII with the count and the graph one blank run
    // apart, is read in one go; that reading agrees with the ones below on
    // it, and anything else is left to them.
    std::size_t blank = 0;
    while (blank < stat.size() && static_cast<unsigned char>(stat[blank]) < 0x80 &&
           !text::is_ascii_whitespace(stat[blank]))
        ++blank;
    std::size_t graph_begin = blank;
    while (graph_begin < stat.size() && text::is_ascii_whitespace(stat[graph_begin])) ++graph_begin;
    if (blank == stat.size()) {
        // ASCII without white space: all count.
    } else if (graph_begin > blank && graph_begin < stat.size() && is_bar_graph(stat.substr(graph_begin))) {
        count = stat.substr(0, blank);
        graph = stat.substr(graph_begin);
    } else if (std::all_of(stat.begin(), stat.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        // ASCII with a blank run that the branch above did not take: no
        // graph, or not a graph, after it.
        return std::nullopt;
    } else if (const auto split = text::split_once_whitespace(stat)) {
        count = split->first;
        graph = split->second;
        if (graph.empty() || text::split_once_whitespace(graph) || !is_bar_graph(graph)) return std::nullopt;
    }
    if (count != "-" && !text::is_ascii_digits(count)) return std::nullopt;
    return StatFields{path, stat, !graph.empty()};
}

// The rows of a stat run, sixteen bytes each: where the path stands in the
// text and how long it is, and where the suffix (" | " with the stat after
// it) stands after the path, so that a run of a million lines makes no view
// pair of each. A row that does not fit so (its line lacks " | " right
// before the stat, or a size outgrows its field) is kept whole on the side,
// with its suffix written out where the line does not hold it.
class StatRows {
public:
    explicit StatRows(std::string_view body) : body_(body) {}

    void add(const StatFields& fields) {
        const auto path_begin = static_cast<std::size_t>(fields.path.data() - body_.data());
        // The bytes between the path and the stat: the bar and the blanks
        // around it.
        const auto between = static_cast<std::size_t>(fields.stat.data() - fields.path.data()) - fields.path.size();
        const bool bar_in_line =
            between >= kBar.size() && std::string_view(fields.stat.data() - kBar.size(), kBar.size()) == kBar;
        const std::size_t suffix_size = kBar.size() + fields.stat.size();
        if (bar_in_line && path_begin < kMaxPathBegin && between - kBar.size() < kSide &&
            fields.path.size() <= UINT32_MAX && suffix_size <= UINT32_MAX) {
            rows_.push_back(Row{path_begin, between - kBar.size(), static_cast<std::uint32_t>(fields.path.size()),
                                static_cast<std::uint32_t>(suffix_size)});
            return;
        }
        std::string_view suffix(fields.stat.data() - kBar.size(), suffix_size);
        if (!bar_in_line) {
            std::string& written = texts_.emplace_back();
            written.reserve(suffix_size);
            written.append(kBar).append(fields.stat);
            suffix = written;
        }
        rows_.push_back(Row{side_.size(), kSide, 0, 0});
        side_.push_back(GitPathRow{fields.path, suffix});
    }
    void clear() {
        rows_.clear();
        side_.clear();
        texts_.clear();
    }
    std::size_t size() const { return rows_.size(); }

    // The row of the run's line `k`: the path, and " | " with the stat.
    tree::TreeRowView row(std::size_t k) const {
        const Row& r = rows_[k];
        if (r.gap == kSide) return tree::TreeRowView{side_[r.path_begin].path, side_[r.path_begin].suffix, {}};
        const char* path = body_.data() + r.path_begin;
        return tree::TreeRowView{std::string_view(path, r.path_size),
                                 std::string_view(path + r.path_size + r.gap, r.suffix_size), {}};
    }

private:
    static constexpr std::string_view kBar = " | ";
    static constexpr std::size_t kMaxPathBegin = std::size_t{1} << 40;
    static constexpr std::size_t kSide = (std::size_t{1} << 24) - 1;

    struct Row {
        std::uint64_t path_begin : 40;  // in the text; for a row on the side, its place there
        std::uint64_t gap : 24;         // the blanks between the path and " | "; kSide for a row on the side
        std::uint32_t path_size;
        std::uint32_t suffix_size;
    };
    static_assert(sizeof(Row) == 16);

    std::string_view body_;
    // Kept in blocks: a run of a million rows grows without being copied
    // from one doubling to the next.
    std::deque<Row> rows_;
    std::deque<GitPathRow> side_;
    std::deque<std::string> texts_;
};

}  // namespace

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
    StatRows rows(body);
    std::size_t begin = 0, end = 0;
    for (std::size_t floor = 0;; floor = end + 1) {
        // The next line that holds a "|", read from that "|" to the line's
        // end first: most such lines in other output fail there, before
        // their start is looked for or their fields are split.
        const std::size_t hit = body.find('|', floor);
        if (hit == std::string_view::npos) break;
        end = line_end(body, hit);
        const std::size_t last_bar = body.rfind('|', end - 1);
        if (!may_begin_git_stat(body.substr(last_bar + 1, end - last_bar - 1))) continue;
        begin = line_start(body, hit, floor);
        const std::optional<StatFields> first = parse_stat_fields(body.substr(begin, end - begin));
        if (!first) continue;
        // The rows are made as the run is read: views of its lines.
        rows.clear();
        rows.add(*first);
        bool any_graph = first->has_graph;
        std::size_t longest = first->path.size();
        const std::size_t rows_end = extend_over_lines(body, end, [&](std::string_view line) {
            const std::optional<StatFields> fields = parse_stat_fields(line);
            if (!fields) return false;
            any_graph = any_graph || fields->has_graph;
            longest = std::max(longest, fields->path.size());
            rows.add(*fields);
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
        Rendering candidate(end - begin);
        for (std::string_view summary : summaries) candidate.add(summary);
        if (summaries.empty()) candidate.add(text::format("git diff --stat: files={}", rows.size()));
        // The paths are parts of the run's lines: a run without a double
        // quote has no escaped quoted path.
        const bool any_quote = body.substr(begin, rows_end - begin).find('"') != std::string_view::npos;
        const GitRowSource source{
            rows.size(), [](const void* context, std::size_t k) { return static_cast<const StatRows*>(context)->row(k); },
            &rows, any_quote, longest};
        if (!add_git_tree(candidate, source, 0) || candidate.over_budget())
            continue;
        out.place_unit(begin, end, std::move(candidate).take());
    }
    return std::move(out).finish();
}

}  // namespace filters::git
