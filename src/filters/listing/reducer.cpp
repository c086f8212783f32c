#include "filters/listing/reducer.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_map>

#include "filters/tree.h"
#include "text.h"

namespace filters::listing::reducer {
namespace {

using detector::ListingEntry;

// Groups of this many entries or more are collapsed into one row.
constexpr std::size_t kCollapseThreshold = 6;

constexpr std::string_view kGeneratedNames[] = {
    ".git",          ".cache",        ".gradle", ".mypy_cache", ".ruff_cache", ".next",    ".nuxt",
    ".parcel-cache", ".pytest_cache", ".turbo",  ".venv",       "__pycache__", "coverage", "dist",
    "node_modules",  "out",           "target",  "vendor",      "venv",
};

bool is_generated_name(std::string_view component) {
    if (component.size() < 3 || component.size() > 13) return false;
    for (std::string_view name : kGeneratedNames)
        if (text::equals_ignore_case(component, name)) return true;
    return false;
}

// The components of `path` as views into it, or into `scratch` when the
// path holds backslashes.
void component_views(std::string_view path, std::string& scratch, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.find('\\') != std::string_view::npos) {
        scratch.assign(path);
        for (char& c : scratch)
            if (c == '\\') c = '/';
        path = scratch;
    }
    while (path.starts_with("./")) path.remove_prefix(2);
    const bool rooted = path.starts_with('/');
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > start) {
            const bool first = parts.empty() && rooted;
            parts.push_back(first ? path.substr(start - 1, slash - start + 1) : path.substr(start, slash - start));
        }
        start = slash + 1;
    }
}

// The number of components of the generated prefix, or 0 for none.
std::size_t generated_prefix_length(const std::vector<std::string_view>& parts) {
    for (std::size_t k = 0; k < parts.size(); ++k)
        if (is_generated_name(parts[k])) return k + 1;
    return 0;
}

std::string join_views(const std::vector<std::string_view>& parts, std::size_t from, std::size_t to) {
    return text::join(std::span(parts).subspan(from, to - from), "/");
}

struct Group {
    std::string prefix;                // the prefix's components joined
    std::size_t components = 0;        // how many
    std::vector<std::size_t> members;  // entry indices
};

// The collapsed row of a group of at least kCollapseThreshold entries.
tree::TreeRow collapsed_row(const Group& group, const std::vector<ListingEntry>& entries) {
    std::vector<std::string> relative;
    for (std::size_t index : group.members) {
        std::string r = relative_entry(entries[index], group.components);
        if (r != ".") relative.push_back(std::move(r));
    }
    if (relative.empty()) relative.assign(group.members.size(), ".");
    tree::TreeRow row{group.prefix, "/", {}};
    row.details.push_back(omission_marker(group.members.size(), "generated/vendor path"));
    row.details.push_back("first: " + relative.front());
    if (relative.back() != relative.front()) row.details.push_back("last: " + relative.back());
    return row;
}

}  // namespace

std::vector<std::string> path_parts(std::string_view path) {
    std::string scratch;
    std::vector<std::string_view> views;
    component_views(path, scratch, views);
    if (views.empty()) return {"."};
    return std::vector<std::string>(views.begin(), views.end());
}

std::string path_from_parts(const std::vector<std::string>& parts, std::size_t n) {
    if (n == 0) return ".";
    return text::join(std::span(parts).first(std::min(n, parts.size())), "/");
}

std::optional<std::vector<std::string>> generated_prefix(std::string_view path) {
    std::string scratch;
    std::vector<std::string_view> views;
    component_views(path, scratch, views);
    const std::size_t k = generated_prefix_length(views);
    if (k == 0) return std::nullopt;
    return std::vector<std::string>(views.begin(), views.begin() + static_cast<std::ptrdiff_t>(k));
}

std::string relative_entry(const ListingEntry& entry, std::size_t n) {
    std::string scratch;
    std::vector<std::string_view> views;
    component_views(entry.path, scratch, views);
    const std::string rel = views.size() <= n ? std::string(".") : join_views(views, n, views.size());
    if (rel == "." && entry.suffix == "/") return rel;
    return rel + entry.suffix;
}

Attempt try_compress_listing_output(const FilterInput& input) {
    std::optional<detector::ParsedListing> listing = detector::parse_listing_lines(input.lines);
    if (!listing) return std::nullopt;
    std::vector<ListingEntry>& entries = listing->entries;

    // Group the entries under their generated prefixes, in order of first
    // appearance.
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> group_of;
    std::vector<std::size_t> group_of_entry(entries.size(), SIZE_MAX);
    std::string scratch;
    std::vector<std::string_view> parts;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        component_views(entries[index].path, scratch, parts);
        const std::size_t k = generated_prefix_length(parts);
        if (k == 0) continue;
        std::string prefix = join_views(parts, 0, k);
        auto [it, fresh] = group_of.try_emplace(std::move(prefix), groups.size());
        if (fresh) groups.push_back(Group{it->first, k, {}});
        groups[it->second].members.push_back(index);
        group_of_entry[index] = it->second;
    }

    std::vector<tree::TreeRow> collapsed_rows;  // only when something collapses
    bool any_collapsed = false;
    for (const Group& g : groups) any_collapsed = any_collapsed || g.members.size() >= kCollapseThreshold;
    if (any_collapsed) {
        collapsed_rows.reserve(entries.size());
        std::vector<bool> placed(groups.size(), false);
        for (std::size_t index = 0; index < entries.size(); ++index) {
            const std::size_t g = group_of_entry[index];
            if (g == SIZE_MAX || groups[g].members.size() < kCollapseThreshold) {
                collapsed_rows.push_back(std::move(entries[index]));
            } else if (!placed[g]) {
                placed[g] = true;
                collapsed_rows.push_back(collapsed_row(groups[g], entries));
            }
        }
    }
    const std::vector<tree::TreeRow>& rows = any_collapsed ? collapsed_rows : entries;

    // A tree that alone outgrows the input cannot make it smaller.
    const std::optional<std::string> drawn = tree::format_tree_within(rows, input.text.size());
    if (!drawn || drawn->empty()) return std::nullopt;

    std::string out;
    std::size_t line_count = 0;
    auto add = [&](std::string_view line) {
        if (line_count++ > 0) out.push_back('\n');
        out.append(line);
    };
    for (const std::string& l : listing->leading_lines) add(l);
    for (const std::string& l : listing->summary_lines) add(l);
    add(*drawn);
    line_count += static_cast<std::size_t>(std::count(drawn->begin(), drawn->end(), '\n'));
    for (const std::string& l : listing->trailing_lines) add(l);
    if (line_count < 2) return std::nullopt;
    if (input.lines.final_newline()) out.push_back('\n');
    if (!text::is_smaller_output(out, input.text)) return std::nullopt;
    return out;
}

std::string compress_listing_output(std::string_view text) { return run_alone(&try_compress_listing_output, text); }

}  // namespace filters::listing::reducer
