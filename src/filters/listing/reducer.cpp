#include "filters/listing/reducer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <unordered_map>

#include "filters/tree.h"
#include "text.h"

namespace filters::listing::reducer {
namespace {

// An entry as views: of the input's lines, or of a parsed listing's entry.
struct EntryView {
    std::string_view path;
    std::string_view suffix;
};

// Groups of this many entries or more are collapsed into one row.
constexpr std::size_t kCollapseThreshold = 6;

constexpr std::string_view kGeneratedNames[] = {
    ".git",          ".cache",        ".gradle", ".mypy_cache", ".ruff_cache", ".next",    ".nuxt",
    ".parcel-cache", ".pytest_cache", ".turbo",  ".venv",       "__pycache__", "coverage", "dist",
    "node_modules",  "out",           "target",  "vendor",      "venv",
};

constexpr std::size_t kLongestGeneratedName = 13;

// For each length, the bytes (in either case) that a generated name of that
// length starts with and ends with: almost every component of a listing is
// ruled out on these before any name is compared.
struct GeneratedEnds {
    std::array<std::array<bool, 256>, kLongestGeneratedName + 1> first{}, last{};
};
constexpr GeneratedEnds kGeneratedEnds = [] {
    GeneratedEnds ends;
    auto mark = [](std::array<bool, 256>& table, char c) {
        table[static_cast<unsigned char>(c)] = true;
        if (c >= 'a' && c <= 'z') table[static_cast<unsigned char>(c - 'a' + 'A')] = true;
    };
    for (std::string_view name : kGeneratedNames) {
        mark(ends.first[name.size()], name.front());
        mark(ends.last[name.size()], name.back());
    }
    return ends;
}();

bool is_generated_name(std::string_view component) {
    const std::size_t n = component.size();
    if (n > kLongestGeneratedName || n == 0 || !kGeneratedEnds.first[n][static_cast<unsigned char>(component.front())] ||
        !kGeneratedEnds.last[n][static_cast<unsigned char>(component.back())])
        return false;
    for (std::string_view name : kGeneratedNames)
        if (text::equals_ignore_case(component, name)) return true;
    return false;
}

// The components of a path without backslashes: leading "./" dropped,
// empty pieces dropped, a leading "/" kept on the first component. False,
// with `parts` to be cleared, on meeting a backslash.
bool slash_components(std::string_view path, std::vector<std::string_view>& parts) {
    while (path.starts_with("./")) path.remove_prefix(2);
    const bool rooted = path.starts_with('/');
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = text::find_path_separator(path, start);
        if (slash < path.size() && path[slash] == '\\') return false;
        if (slash > start) {
            const bool first = parts.empty() && rooted;
            parts.push_back(first ? path.substr(start - 1, slash - start + 1) : path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return true;
}

// The components of `path` as views into it, or into `scratch` when the
// path holds backslashes (read as "/"; then the answer is true).
bool component_views(std::string_view path, std::string& scratch, std::vector<std::string_view>& parts) {
    parts.clear();
    if (slash_components(path, parts)) return false;
    parts.clear();
    scratch.assign(path);
    for (char& c : scratch)
        if (c == '\\') c = '/';
    slash_components(scratch, parts);
    return true;
}

// The number of components of the generated prefix, or 0 for none.
std::size_t generated_prefix_length(const std::vector<std::string_view>& parts) {
    for (std::size_t k = 0; k < parts.size(); ++k)
        if (is_generated_name(parts[k])) return k + 1;
    return 0;
}

// The first `k` parts joined with "/". Parts found in one path stand in it
// in order, one "/" apart where it is written plainly: then the joined text
// is a view of the path itself, and only an odd path ("a//node_modules")
// is joined into `joined`. The second answer tells which.
std::pair<std::string_view, bool> joined_prefix(const std::vector<std::string_view>& parts, std::size_t k,
                                                std::string& joined) {
    std::size_t bytes = k - 1;
    for (std::size_t j = 0; j < k; ++j) bytes += parts[j].size();
    const char* begin = parts[0].data();
    if (static_cast<std::size_t>(parts[k - 1].data() + parts[k - 1].size() - begin) == bytes)
        return {std::string_view(begin, bytes), true};
    joined = text::join(std::span(parts).first(k), "/");
    return {joined, false};
}

// The entry's path below its first `n` components, with its suffix.
std::string relative_entry(const EntryView& entry, std::size_t n) {
    std::string scratch;
    std::vector<std::string_view> views;
    component_views(entry.path, scratch, views);
    const std::string rel = views.size() <= n ? std::string(".") : text::join(std::span(views).subspan(n), "/");
    if (rel == "." && entry.suffix == "/") return rel;
    return rel + std::string(entry.suffix);
}

// Whether relative_entry(entry, n) is ".", from the entry's components.
bool relative_is_dot(const std::vector<std::string_view>& parts, std::size_t n, std::string_view suffix) {
    const bool rel_dot = parts.size() <= n || (parts.size() == n + 1 && parts[n] == ".");
    return rel_dot && (suffix.empty() || suffix == "/");
}

constexpr std::uint32_t kNoGroup = UINT32_MAX;

struct Group {
    std::string_view prefix;             // the prefix's components joined
    std::size_t components = 0;          // how many
    std::size_t members = 0;             // entries under it
    std::size_t first_member = 0;        // where its collapsed row stands
    std::size_t first_named = SIZE_MAX;  // first and last member whose relative entry is not "."
    std::size_t last_named = SIZE_MAX;
    std::vector<std::string> details;  // the collapsed row's lines
};

// The entries grouped under their generated prefixes, in order of first
// appearance, and the group of each entry (kNoGroup for none; empty when
// no entry has a generated prefix).
struct Grouping {
    std::vector<Group> groups;
    std::vector<std::uint32_t> group_of_entry;
    std::deque<std::string> owned_prefixes;  // prefixes that are no view of an entry's path
};

// Builds the grouping one entry at a time, in order.
class Grouper {
public:
    explicit Grouper(std::size_t count) : count_(count) {}

    void add(std::size_t index, EntryView entry) {
        const std::string_view path = entry.path;
        // A path one component below the previous one's directory shares
        // that directory's group, or has its own only when that component
        // is a generated name.
        if (!directory_.empty() && path.size() > directory_.size() && path.starts_with(directory_) &&
            text::find_path_separator(path, directory_.size()) == path.size()) {
            const std::string_view leaf = path.substr(directory_.size());
            directory_ = path.substr(0, directory_.size());
            if (directory_group_ != kNoGroup) {
                const bool dot = prefix_length_ == directory_components_ && leaf == "." &&
                                 (entry.suffix.empty() || entry.suffix == "/");
                join(index, directory_group_, dot);
                return;
            }
            if (!is_generated_name(leaf)) return;
        }
        const bool rewritten = component_views(path, scratch_, parts_);
        const std::size_t k = generated_prefix_length(parts_);
        std::size_t last = path.size();
        while (last > 0 && path[last - 1] != '/' && path[last - 1] != '\\') --last;
        const bool leaf_follows =
            !parts_.empty() && last > 0 && last < path.size() && parts_.back() == path.substr(last);
        directory_ = leaf_follows ? path.substr(0, last) : std::string_view();
        directory_components_ = leaf_follows ? parts_.size() - 1 : 0;
        directory_group_ = kNoGroup;
        prefix_length_ = k;
        if (k == 0) return;
        const auto [prefix, views_parts] = joined_prefix(parts_, k, joined_);
        std::uint32_t g = last_;
        if (g == kNoGroup || out_.groups[g].prefix != prefix) {
            const auto found = group_of_.find(prefix);
            if (found != group_of_.end()) {
                g = found->second;
            } else {
                g = static_cast<std::uint32_t>(out_.groups.size());
                const std::string_view stable =
                    views_parts && !rewritten ? prefix : std::string_view(out_.owned_prefixes.emplace_back(prefix));
                group_of_.emplace(stable, g);
                out_.groups.push_back(Group{stable, k, 0, index, SIZE_MAX, SIZE_MAX, {}});
            }
        }
        last_ = g;
        if (k <= directory_components_) directory_group_ = g;
        join(index, g, relative_is_dot(parts_, k, entry.suffix));
    }

    Grouping take() && { return std::move(out_); }

private:
    void join(std::size_t index, std::uint32_t g, bool dot) {
        if (out_.group_of_entry.empty()) out_.group_of_entry.assign(count_, kNoGroup);
        out_.group_of_entry[index] = g;
        Group& group = out_.groups[g];
        ++group.members;
        if (!dot) {
            if (group.first_named == SIZE_MAX) group.first_named = index;
            group.last_named = index;
        }
    }

    std::size_t count_;
    Grouping out_;
    std::unordered_map<std::string_view, std::uint32_t> group_of_;
    std::string scratch_, joined_;
    std::vector<std::string_view> parts_;
    std::uint32_t last_ = kNoGroup;  // consecutive entries mostly share their group
    // The last split path up to and including its last separator, when
    // its last component is all that follows; its components before that
    // one; the group they are in (kNoGroup for none); the group's prefix
    // length.
    std::string_view directory_;
    std::size_t directory_components_ = 0;
    std::uint32_t directory_group_ = kNoGroup;
    std::size_t prefix_length_ = 0;
};

// The lines of a collapsed row: the count, the first and the last member
// below the prefix.
template <class EntryAt>
std::vector<std::string> collapsed_details(const Group& group, const EntryAt& entry_at) {
    std::vector<std::string> details;
    details.push_back(omission_marker(group.members, "generated/vendor path"));
    if (group.first_named == SIZE_MAX) {
        details.push_back("first: .");
        return details;
    }
    const std::string first = relative_entry(entry_at(group.first_named), group.components);
    const std::string last = relative_entry(entry_at(group.last_named), group.components);
    details.push_back("first: " + first);
    if (last != first) details.push_back("last: " + last);
    return details;
}

// The listing's tree: each entry a row, except that the entries of a group
// of kCollapseThreshold or more make one row, where the group's first
// entry stands.
template <class EntryAt>
std::optional<std::string> draw_entries(std::size_t count, const EntryAt& entry_at, Grouping grouping,
                                        std::size_t max_bytes) {
    bool any_collapsed = false;
    for (Group& g : grouping.groups) {
        if (g.members < kCollapseThreshold) continue;
        any_collapsed = true;
        g.details = collapsed_details(g, entry_at);
    }
    if (!any_collapsed)
        return tree::format_row_views_within(
            count,
            [&](std::size_t i) {
                const EntryView e = entry_at(i);
                return tree::TreeRowView{e.path, e.suffix, {}};
            },
            max_bytes);
    // Row k is entry row_ids[k], or collapsed group row_ids[k] - count.
    std::vector<std::size_t> row_ids;
    for (std::size_t index = 0; index < count; ++index) {
        const std::uint32_t g = grouping.group_of_entry[index];
        if (g == kNoGroup || grouping.groups[g].members < kCollapseThreshold)
            row_ids.push_back(index);
        else if (grouping.groups[g].first_member == index)
            row_ids.push_back(count + g);
    }
    return tree::format_row_views_within(
        row_ids.size(),
        [&](std::size_t k) {
            const std::size_t id = row_ids[k];
            if (id >= count) {
                const Group& g = grouping.groups[id - count];
                return tree::TreeRowView{g.prefix, "/", g.details};
            }
            const EntryView e = entry_at(id);
            return tree::TreeRowView{e.path, e.suffix, {}};
        },
        max_bytes);
}

// The output: kept lines before, the tree, kept lines after.
Attempt assemble(const FilterInput& input, const detector::ParsedListing* listing, std::string drawn) {
    std::vector<std::string_view> before, after;
    if (listing) {
        before.insert(before.end(), listing->leading_lines.begin(), listing->leading_lines.end());
        before.insert(before.end(), listing->summary_lines.begin(), listing->summary_lines.end());
        after.assign(listing->trailing_lines.begin(), listing->trailing_lines.end());
    }
    const std::size_t line_count =
        before.size() + 1 + static_cast<std::size_t>(std::count(drawn.begin(), drawn.end(), '\n')) + after.size();
    if (line_count < 2) return std::nullopt;
    std::string out;
    if (before.empty()) {
        out = std::move(drawn);
    } else {
        std::size_t bytes = drawn.size();
        for (std::string_view line : before) bytes += line.size() + 1;
        out.reserve(bytes);
        for (std::string_view line : before) out.append(line).push_back('\n');
        out.append(drawn);
        std::string().swap(drawn);
    }
    for (std::string_view line : after) out.append("\n").append(line);
    if (input.lines.final_newline()) out.push_back('\n');
    if (!text::is_smaller_output(out, input.text)) return std::nullopt;
    return out;
}

}  // namespace

Attempt try_compress_listing_output(const FilterInput& input) {
    // A tree that alone outgrows the input cannot make it smaller.
    const std::size_t max_bytes = input.text.size();
    auto path_entry = [&](std::size_t i) {
        const auto [path, suffix] = detector::directory_suffix_split(input.lines[i]);
        return EntryView{path, suffix};
    };
    // Entry indices are kept in 32 bits.
    if (input.lines.size() >= kNoGroup) return std::nullopt;
    Grouper path_grouper(input.lines.size());
    const bool path_list = detector::read_path_list(
        input.lines, [&](std::size_t i, std::string_view) { path_grouper.add(i, path_entry(i)); });
    if (path_list) {
        // Every line is an entry: the entries are read from the lines as
        // they are needed rather than kept in a list.
        std::optional<std::string> drawn =
            draw_entries(input.lines.size(), path_entry, std::move(path_grouper).take(), max_bytes);
        if (!drawn || drawn->empty()) return std::nullopt;
        return assemble(input, nullptr, std::move(*drawn));
    }
    const std::optional<detector::ParsedListing> listing = detector::parse_annotated_listing(input.lines);
    if (!listing) return std::nullopt;
    const std::vector<detector::ListingEntry>& entries = listing->entries;
    auto entry_at = [&](std::size_t i) { return EntryView{entries[i].path, entries[i].suffix}; };
    Grouper grouper(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) grouper.add(i, entry_at(i));
    std::optional<std::string> drawn = draw_entries(entries.size(), entry_at, std::move(grouper).take(), max_bytes);
    if (!drawn || drawn->empty()) return std::nullopt;
    return assemble(input, &*listing, std::move(*drawn));
}

std::string compress_listing_output(std::string_view text) { return run_alone(&try_compress_listing_output, text); }

}  // namespace filters::listing::reducer
