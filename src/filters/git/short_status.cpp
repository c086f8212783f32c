#include "filters/git/short_status.h"

#include <unordered_map>
#include <vector>

#include "filters/git/paths.h"
#include "text.h"

namespace filters::git {
namespace {

struct CodeGroup {
    std::string code;
    std::vector<tree::TreeRow> rows;
};

bool is_status_char(char c) {
    switch (c) {
        case ' ': case '!': case '?': case 'A': case 'C': case 'D': case 'M': case 'R': case 'T': case 'U':
            return true;
        default:
            return false;
    }
}

bool is_branch_line(std::string_view line) { return line.starts_with("## "); }

}  // namespace

std::optional<GitStatusEntry> parse_git_status_line(std::string_view line) {
    if (line.size() < 4 || line[2] != ' ') return std::nullopt;
    if (!is_status_char(line[0]) || !is_status_char(line[1])) return std::nullopt;
    if (line[0] == ' ' && line[1] == ' ') return std::nullopt;
    return GitStatusEntry{std::string(text::trim(line.substr(0, 2))), std::string(line.substr(3))};
}

std::optional<std::string> compress_git_short_status(std::string_view text) {
    GitLines split = split_git_lines(text);
    const std::vector<std::string_view>& lines = split.lines;
    PassOutput out(split);
    std::size_t i = 0;
    while (i < lines.size()) {
        const std::size_t begin = i;
        std::vector<std::string_view> branch_lines;
        std::vector<CodeGroup> groups;
        std::unordered_map<std::string, std::size_t> group_of;
        for (; i < lines.size(); ++i) {
            if (is_branch_line(lines[i])) {
                branch_lines.push_back(lines[i]);
                continue;
            }
            std::optional<GitStatusEntry> entry = parse_git_status_line(lines[i]);
            if (!entry) break;
            auto [it, added] = group_of.try_emplace(entry->code, groups.size());
            if (added) groups.push_back(CodeGroup{std::move(entry->code), {}});
            groups[it->second].rows.push_back(git_path_row(std::move(entry->path)));
        }
        if (i == begin) {
            ++i;
            continue;
        }
        if (groups.empty()) continue;
        Rendering candidate(joined_size(lines, begin, i));
        for (std::string_view line : branch_lines) candidate.add(std::string(line));
        std::string headline = "git status:";
        for (const CodeGroup& g : groups) headline += text::format(" {}={}", g.code, g.rows.size());
        candidate.add(std::move(headline));
        bool complete = true;
        for (const CodeGroup& g : groups) {
            candidate.add(text::format("{}:", g.code));
            std::optional<std::vector<std::string>> tree_lines;
            if (!candidate.over_budget()) tree_lines = render_tree_lines(g.rows, candidate.room());
            if (!tree_lines) {
                complete = false;
                break;
            }
            for (std::string& line : *tree_lines) candidate.add(" " + line);
        }
        if (!complete || candidate.over_budget()) continue;
        out.place_unit(begin, i, std::move(candidate.lines));
    }
    return std::move(out).finish();
}

}  // namespace filters::git
