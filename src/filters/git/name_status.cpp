#include "filters/git/name_status.h"

#include <unordered_map>
#include <vector>

#include "filters/git/paths.h"
#include "filters/git/types.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::size_t kMinRunEntries = 3;

struct StatusGroup {
    std::string status;
    std::vector<std::string> paths;
};

bool is_rename_or_copy_status(std::string_view field) {
    if (field.size() > 4) return false;
    for (char c : field.substr(1))
        if (!text::is_ascii_digit(c)) return false;
    return true;
}

}  // namespace

std::optional<GitNameStatusEntry> parse_git_name_status_line(std::string_view line) {
    if (line.find('\t') == std::string_view::npos) return std::nullopt;
    // At most four fields matter: a fourth means the line has too many.
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (fields.size() < 4) {
        std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            break;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    std::string_view status = fields[0];
    if (status.empty()) return std::nullopt;
    switch (status[0]) {
        case 'A': case 'B': case 'D': case 'M': case 'T': case 'U': case 'X':
            if (status.size() != 1 || fields.size() != 2 || !looks_git_path_like(fields[1])) return std::nullopt;
            return GitNameStatusEntry{std::string(status), std::string(fields[1])};
        case 'C': case 'R':
            if (!is_rename_or_copy_status(status) || fields.size() != 3) return std::nullopt;
            if (!looks_git_path_like(fields[1]) || !looks_git_path_like(fields[2])) return std::nullopt;
            return GitNameStatusEntry{std::string(status), text::format("{} -> {}", fields[1], fields[2])};
        default:
            return std::nullopt;
    }
}

std::optional<std::string> compress_git_name_status_runs(std::string_view text) {
    if (text.find('\t') == std::string_view::npos) return std::nullopt;
    GitLines split = split_git_lines(text);
    const std::vector<std::string_view>& lines = split.lines;
    PassOutput out(split);
    std::size_t i = 0;
    while (i < lines.size()) {
        std::optional<GitNameStatusEntry> entry = parse_git_name_status_line(lines[i]);
        if (!entry) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        std::vector<StatusGroup> groups;
        std::unordered_map<std::string, std::size_t> group_of;
        for (; entry; entry = ++i < lines.size() ? parse_git_name_status_line(lines[i]) : std::nullopt) {
            auto [it, added] = group_of.try_emplace(entry->status, groups.size());
            if (added) groups.push_back(StatusGroup{std::move(entry->status), {}});
            groups[it->second].paths.push_back(std::move(entry->path));
        }
        if (i - begin < kMinRunEntries) continue;
        std::string headline = "git name-status:";
        for (const StatusGroup& g : groups) headline += text::format(" {}={}", g.status, g.paths.size());
        Rendering candidate(joined_size(lines, begin, i));
        candidate.add(std::move(headline));
        bool complete = true;
        for (const StatusGroup& g : groups) {
            std::optional<std::vector<std::string>> path_lines;
            if (!candidate.over_budget()) path_lines = format_git_paths(g.paths, candidate.room());
            if (!path_lines) {
                complete = false;
                break;
            }
            candidate.add(text::format("{}:", g.status));
            candidate.add(std::move(*path_lines));
        }
        if (!complete || candidate.over_budget()) continue;
        out.place_unit(begin, i, std::move(candidate.lines));
    }
    return std::move(out).finish();
}

}  // namespace filters::git
