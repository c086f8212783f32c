#include "filters/bundle_report/summary.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "filters/tree.h"
#include "text.h"

namespace filters::bundle_report::summary {
namespace {

using detector::AssetRow;
using Rows = std::vector<const AssetRow*>;

constexpr std::string_view kHeadline = "bundle report: vite/rollup success";
constexpr std::size_t kExtensionLimit = 8;
constexpr std::size_t kDirectoryLimit = 3;
constexpr std::size_t kTopAssets = 5;

enum class Measure { raw, gzip };

// "key=count" items, most frequent first, then by key; at most `limit`
// items and "+N more" for the rest, joined with ", ".
std::string format_counts(const std::map<std::string, std::uint64_t>& counts, std::size_t limit) {
    std::vector<std::pair<std::string_view, std::uint64_t>> items(counts.begin(), counts.end());
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < items.size() && i < limit; ++i)
        parts.push_back(text::format("{}={}", items[i].first, items[i].second));
    if (items.size() > limit) parts.push_back(text::format("+{} more", items.size() - limit));
    return text::join(parts, ", ");
}

// The path up to and including its last "/"; none without "/".
std::optional<std::string_view> directory(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    return path.substr(0, slash + 1);
}

// The longest run of leading directory components that every row with a
// directory shares, followed by "/"; none when there is no such run.
std::optional<std::string> common_directory(const Rows& rows) {
    std::vector<std::string_view> shared;
    bool any = false;
    std::vector<std::string_view> parts;
    for (const AssetRow* row : rows) {
        std::optional<std::string_view> dir = directory(row->path);
        if (!dir) continue;
        std::string_view d = *dir;
        while (!d.empty() && d.back() == '/') d.remove_suffix(1);
        parts.clear();
        std::size_t start = 0;
        while (true) {
            const std::size_t slash = d.find('/', start);
            if (slash == std::string_view::npos) {
                parts.push_back(d.substr(start));
                break;
            }
            parts.push_back(d.substr(start, slash - start));
            start = slash + 1;
        }
        if (!any) {
            shared = parts;
            any = true;
            continue;
        }
        std::size_t n = 0;
        while (n < shared.size() && n < parts.size() && shared[n] == parts[n]) ++n;
        shared.resize(n);
    }
    if (shared.empty()) return std::nullopt;
    return text::join(shared, "/") + "/";
}

double bytes_of(const AssetRow& row, Measure m) { return m == Measure::raw ? row.size_bytes : row.gzip_bytes; }
const std::string& text_of(const AssetRow& row, Measure m) { return m == Measure::raw ? row.size : row.gzip; }

// The tool's own progress lines: the build command, the stages and the
// closing "built in" line.
bool is_status_line(std::string_view lower) {
    const bool vite = text::contains(lower, "vite");
    const bool rollup = text::contains(lower, "rollup");
    if (lower.starts_with("$ ") && (vite || rollup) && text::contains(lower, "build")) return true;
    if (vite && text::contains(lower, "building")) return true;
    if (rollup && (text::contains(lower, "building") || text::contains(lower, "bundle"))) return true;
    if (text::contains_any(lower, {"transforming", "modules transformed", "rendering chunks", "computing gzip size"}))
        return true;
    return lower.starts_with("\xE2\x9C\x93 built in") || lower.starts_with("built in ");
}

// "{small}-{large} {unit}" when both ends share a unit, else the two whole
// size texts. The first of equal smallest rows and the last of equal
// largest rows are taken; a size that is not a number never becomes the
// smallest and always becomes the largest.
std::string metric_range(const Rows& rows, Measure m) {
    const AssetRow* small = rows.front();
    const AssetRow* large = rows.front();
    for (const AssetRow* row : rows) {
        if (bytes_of(*row, m) < bytes_of(*small, m)) small = row;
        if (!(bytes_of(*large, m) > bytes_of(*row, m))) large = row;
    }
    std::string_view a = text_of(*small, m);
    std::string_view b = text_of(*large, m);
    const std::size_t sa = a.rfind(' ');
    const std::size_t sb = b.rfind(' ');
    if (sa != std::string_view::npos && sb != std::string_view::npos && a.substr(sa + 1) == b.substr(sb + 1))
        return text::format("{}-{} {}", a.substr(0, sa), b.substr(0, sb), a.substr(sa + 1));
    return text::format("{}-{}", a, b);
}

// -1, 0 or 1 as `a` orders before, with or after `b` when larger comes
// first; values that do not compare (not-a-number) count as equal.
int descending(double a, double b) {
    if (a > b) return -1;
    if (a < b) return 1;
    return 0;
}

bool orders_before(const AssetRow& a, const AssetRow& b, Measure m) {
    const Measure other = m == Measure::raw ? Measure::gzip : Measure::raw;
    if (int c = descending(bytes_of(a, m), bytes_of(b, m))) return c < 0;
    if (int c = descending(bytes_of(a, other), bytes_of(b, other))) return c < 0;
    return a.path < b.path;
}

// The first five rows of the rows stably sorted by the measure. Kept by
// insertion into a list of five, so a report of any length is read once.
Rows top_assets(const Rows& rows, Measure m) {
    Rows top;
    top.reserve(kTopAssets + 1);
    for (const AssetRow* row : rows) {
        std::size_t at = top.size();
        while (at > 0 && orders_before(*row, *top[at - 1], m)) --at;
        if (at >= kTopAssets) continue;
        top.insert(top.begin() + static_cast<std::ptrdiff_t>(at), row);
        if (top.size() > kTopAssets) top.pop_back();
    }
    return top;
}

std::vector<std::string> asset_tree_lines(const std::vector<tree::TreeRow>& rows) {
    std::vector<std::string> out;
    const std::string rendered = tree::format_tree(rows);
    for (std::string_view line : text::split_on_newline(rendered)) out.emplace_back(line);
    return out;
}

tree::TreeRow tree_row(const AssetRow& row, std::string path) {
    return tree::TreeRow{std::move(path), text::format(" {} \xE2\x94\x82 gzip: {}", row.size, row.gzip), {}};
}

std::size_t size_of_lines(const std::vector<std::string>& lines) {
    std::size_t n = 0;
    for (const auto& l : lines) n += l.size() + 1;
    return n;
}

// The tree of the rows' paths, or their common directory on a line of its
// own with the tree of the paths below it, whichever is smaller.
std::vector<std::string> format_asset_tree(const Rows& rows) {
    std::vector<tree::TreeRow> full;
    for (const AssetRow* row : rows) full.push_back(tree_row(*row, row->path));
    std::vector<std::string> plain = asset_tree_lines(full);
    const std::optional<std::string> common = common_directory(rows);
    if (!common) return plain;
    std::vector<tree::TreeRow> relative;
    for (const AssetRow* row : rows) {
        std::string_view path = row->path;
        if (path.starts_with(*common)) path.remove_prefix(common->size());
        relative.push_back(tree_row(*row, std::string(path.empty() ? std::string_view(".") : path)));
    }
    std::vector<std::string> grouped{*common};
    for (std::string& line : asset_tree_lines(relative)) grouped.push_back(" " + line);
    return size_of_lines(grouped) < size_of_lines(plain) ? grouped : plain;
}

bool same_paths(const Rows& a, const Rows& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i]->path != b[i]->path) return false;
    return true;
}

}  // namespace

std::vector<std::string> summarize_bundle_report(const std::vector<std::string_view>& lines,
                                                 const detector::BundleReport& report) {
    std::vector<std::string> out{std::string(kHeadline)};

    std::vector<std::string> status;
    std::string buffer, lower;
    for (std::string_view line : lines) {
        const std::string_view t = text::trim(detector::normalized_view(line, buffer));
        if (t.empty() || detector::parse_normalized_row(t)) continue;
        lower.assign(t);
        for (char& c : lower) c = text::to_lower_ascii(c);
        if (is_status_line(lower)) status.emplace_back(t);
    }
    for (std::string& line : text::drop_blank_and_adjacent_duplicates(status)) out.push_back(std::move(line));

    Rows rows;
    rows.reserve(report.rows.size());
    std::map<std::string, std::uint64_t> extensions, directories;
    for (const AssetRow& row : report.rows) {
        rows.push_back(&row);
        ++extensions[row.extension];
        ++directories[std::string(directory(row.path).value_or("./"))];
    }

    out.push_back(text::format("asset rows: {}", rows.size()));
    if (auto common = common_directory(rows)) out.push_back(text::format("common directory: {}", *common));
    out.push_back(text::format("extensions: {}", format_counts(extensions, kExtensionLimit)));
    if (directories.size() >= 2)
        out.push_back(text::format("top directories: {}", format_counts(directories, kDirectoryLimit)));
    out.push_back(text::format("size range: {}", metric_range(rows, Measure::raw)));
    out.push_back(text::format("gzip range: {}", metric_range(rows, Measure::gzip)));

    const Rows raw_top = top_assets(rows, Measure::raw);
    const Rows gzip_top = top_assets(rows, Measure::gzip);
    out.emplace_back("largest raw assets:");
    for (std::string& line : format_asset_tree(raw_top)) out.push_back(std::move(line));
    if (!same_paths(raw_top, gzip_top)) {
        out.emplace_back("largest gzip assets:");
        for (std::string& line : format_asset_tree(gzip_top)) out.push_back(std::move(line));
    }

    std::vector<std::string_view> shown;
    for (const Rows* list : {&raw_top, &gzip_top})
        for (const AssetRow* row : *list)
            if (std::find(shown.begin(), shown.end(), row->path) == shown.end()) shown.push_back(row->path);
    if (rows.size() > shown.size())
        out.push_back(text::format("omitted: {} smaller asset rows summarized", rows.size() - shown.size()));

    return text::drop_blank_and_adjacent_duplicates(out);
}

}  // namespace filters::bundle_report::summary
