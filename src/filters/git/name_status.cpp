#include "filters/git/name_status.h"

#include <unordered_map>
#include <vector>

#include "filters/git/passes.h"
#include "filters/git/paths.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::size_t kMinRunEntries = 3;
// A rename or copy status is its letter and a score of up to three digits.
constexpr std::size_t kMaxStatusBytes = 4;

struct StatusGroup {
    std::string status;
    std::vector<std::string> paths;
};

bool is_rename_or_copy_status(std::string_view field) {
    if (field.size() > kMaxStatusBytes) return false;
    for (char c : field.substr(1))
        if (!text::is_ascii_digit(c)) return false;
    return true;
}

}  // namespace

bool may_be_git_name_status_line(std::string_view line) {
    if (line.size() < 3) return false;
    switch (line[0]) {
        case 'A':
        case 'B':
        case 'C':
        case 'D':
        case 'M':
        case 'R':
        case 'T':
        case 'U':
        case 'X':
            return line.substr(1, kMaxStatusBytes).find('\t') != std::string_view::npos;
        default:
            return false;
    }
}

std::optional<GitNameStatusEntry> parse_git_name_status_line(std::string_view line) {
    // At most four fields matter: a fourth means the line has too many.
    std::string_view fields[4];
    std::size_t count = 0;
    for (std::size_t start = 0; count < 4;) {
        std::size_t tab = line.find('\t', start);
        fields[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (count < 2) return std::nullopt;
    std::string_view status = fields[0];
    if (status.empty()) return std::nullopt;
    switch (status[0]) {
        case 'A':
        case 'B':
        case 'D':
        case 'M':
        case 'T':
        case 'U':
        case 'X':
            if (status.size() != 1 || count != 2 || !looks_git_path_like(fields[1])) return std::nullopt;
            return GitNameStatusEntry{std::string(status), std::string(fields[1])};
        case 'C':
        case 'R':
            if (!is_rename_or_copy_status(status) || count != 3) return std::nullopt;
            if (!looks_git_path_like(fields[1]) || !looks_git_path_like(fields[2])) return std::nullopt;
            return GitNameStatusEntry{std::string(status), text::format("{} -> {}", fields[1], fields[2])};
        default:
            return std::nullopt;
    }
}

std::optional<std::string> compress_git_name_status_runs(std::string_view text) {
    const std::string_view body = git_body(text);
    PassOutput out(text);
    std::size_t begin = 0, end = 0;
    for (std::size_t floor = 0; find_line_holding(body, '\t', floor, begin, end); floor = end + 1) {
        std::optional<GitNameStatusEntry> first = parse_git_name_status_line(body.substr(begin, end - begin));
        if (!first) continue;
        std::vector<StatusGroup> groups;
        std::unordered_map<std::string, std::size_t> group_of;
        std::size_t entries = 0;
        auto add = [&](GitNameStatusEntry&& entry) {
            ++entries;
            auto [it, added] = group_of.try_emplace(entry.status, groups.size());
            if (added) groups.push_back(StatusGroup{std::move(entry.status), {}});
            groups[it->second].paths.push_back(std::move(entry.path));
        };
        add(std::move(*first));
        end = extend_over_lines(body, end, [&](std::string_view line) {
            std::optional<GitNameStatusEntry> entry = parse_git_name_status_line(line);
            if (entry) add(std::move(*entry));
            return entry.has_value();
        });
        if (entries < kMinRunEntries) continue;
        std::string headline = "git name-status:";
        for (const StatusGroup& g : groups) headline += text::format(" {}={}", g.status, g.paths.size());
        Rendering candidate(end - begin);
        candidate.add(headline);
        bool complete = true;
        for (const StatusGroup& g : groups) {
            std::optional<std::vector<std::string>> path_lines;
            if (!candidate.over_budget()) path_lines = format_git_paths(g.paths, candidate.room());
            if (!path_lines) {
                complete = false;
                break;
            }
            candidate.add(text::format("{}:", g.status));
            candidate.add(*path_lines);
        }
        if (!complete || candidate.over_budget()) continue;
        out.place_unit(begin, end, candidate.text());
    }
    return std::move(out).finish();
}

}  // namespace filters::git
