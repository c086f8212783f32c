#include "filters/git/long_status.h"

#include <algorithm>
#include <unordered_map>

#include "filters/git/passes.h"
#include "filters/git/paths.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::pair<std::string_view, std::string_view> kSectionHeaders[] = {
    {"Changes to be committed:", "Changes to be committed"},
    {"Changes not staged for commit:", "Changes not staged for commit"},
    {"Untracked files:", "Untracked files"},
    {"Unmerged paths:", "Unmerged paths"},
    {"Ignored files:", "Ignored files"},
};

struct KindGroup {
    std::string kind;
    std::vector<std::string> paths;
};

// Looked at before the text is split, so that other text is declined at
// the cost of reading its first lines.
bool opens_long_status(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        if (!text::trim(line).empty()) return line.starts_with("On branch ") || line.starts_with("HEAD detached ");
        pos = end + 1;
    }
    return false;
}

bool has_section_header(const std::vector<std::string_view>& lines) {
    for (std::string_view line : lines)
        if (git_long_status_category(line)) return true;
    return false;
}

std::vector<KindGroup> group_by_kind(std::vector<GitStatusEntry>& entries) {
    std::vector<KindGroup> groups;
    std::unordered_map<std::string, std::size_t> group_of;
    for (GitStatusEntry& entry : entries) {
        auto [it, added] = group_of.try_emplace(entry.code, groups.size());
        if (added) groups.push_back(KindGroup{std::move(entry.code), {}});
        groups[it->second].paths.push_back(std::move(entry.path));
    }
    return groups;
}

std::string_view display_kind(std::string_view kind) { return kind == "path" ? "files" : kind; }

}  // namespace

std::optional<std::string_view> git_long_status_category(std::string_view line) {
    for (const auto& [header, name] : kSectionHeaders)
        if (line == header) return name;
    return std::nullopt;
}

GitStatusEntry parse_git_long_status_entry(std::string_view line) {
    std::string_view trimmed = text::trim(line);
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        char c = trimmed[i];
        if (c == ':') {
            if (i + 1 < trimmed.size() && trimmed[i + 1] == ' ') {
                std::string_view path = text::trim(trimmed.substr(i + 1));
                if (!path.empty()) return GitStatusEntry{std::string(trimmed.substr(0, i)), std::string(path)};
            }
            break;
        }
        if (!(c >= 'a' && c <= 'z') && c != ' ') break;
    }
    return GitStatusEntry{"path", std::string(trimmed)};
}

std::optional<std::string> compress_git_long_status(std::string_view text) {
    if (!opens_long_status(text)) return std::nullopt;
    GitLines split = split_git_lines(text);
    const std::vector<std::string_view>& lines = split.lines;
    if (!has_section_header(lines)) return std::nullopt;

    std::vector<std::string_view> preamble;
    std::vector<std::string_view> trailing;
    std::vector<GitLongStatusSection> sections;
    for (std::string_view line : lines) {
        std::string_view trimmed = text::trim(line);
        if (trimmed.empty()) continue;
        if (trimmed.front() == '(' && trimmed.back() == ')') continue;
        if (std::optional<std::string_view> name = git_long_status_category(line)) {
            sections.push_back(GitLongStatusSection{std::string(*name), {}});
        } else if (sections.empty()) {
            preamble.push_back(trimmed);
        } else if (line.front() == ' ' || line.front() == '\t') {
            sections.back().entries.push_back(parse_git_long_status_entry(line));
        } else {
            trailing.push_back(trimmed);
        }
    }
    bool any_entry = false;
    for (const GitLongStatusSection& s : sections) any_entry = any_entry || !s.entries.empty();
    if (!any_entry) return std::nullopt;

    const std::string_view body = git_body(text);
    Rendering candidate(body.size());
    candidate.add("git status:");
    for (std::string_view line : preamble) candidate.add(line);
    for (GitLongStatusSection& section : sections) {
        if (candidate.over_budget()) return std::nullopt;
        if (section.entries.empty()) {
            candidate.add(text::format("{}: 0", section.name));
            continue;
        }
        std::vector<KindGroup> groups = group_by_kind(section.entries);
        std::string counts = text::format("{}:", section.name);
        for (const KindGroup& g : groups) counts += text::format(" {}={}", display_kind(g.kind), g.paths.size());
        candidate.add(counts);
        for (const KindGroup& g : groups) {
            candidate.add(text::format(" {}:", display_kind(g.kind)));
            std::optional<std::vector<std::string>> path_lines;
            if (!candidate.over_budget()) path_lines = format_git_paths(g.paths, candidate.room());
            if (!path_lines) return std::nullopt;
            candidate.add(*path_lines);
        }
    }
    for (std::string_view line : trailing) candidate.add(line);
    if (candidate.over_budget()) return std::nullopt;

    PassOutput out(text);
    out.place_unit(0, body.size(), candidate.text());
    return std::move(out).finish();
}

}  // namespace filters::git
