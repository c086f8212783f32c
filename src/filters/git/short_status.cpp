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

bool is_git_status_line(std::string_view line) {
    if (line.size() < 4 || line[2] != ' ') return false;
    if (!is_status_char(line[0]) || !is_status_char(line[1])) return false;
    return line[0] != ' ' || line[1] != ' ';
}

bool is_git_status_block_line(std::string_view line) { return is_branch_line(line) || is_git_status_line(line); }

std::optional<GitStatusEntry> parse_git_status_line(std::string_view line) {
    if (!is_git_status_line(line)) return std::nullopt;
    return GitStatusEntry{std::string(text::trim(line.substr(0, 2))), std::string(line.substr(3))};
}

std::optional<std::string> compress_git_short_status(std::string_view text) {
    const std::string_view body = git_body(text);
    PassOutput out(text);
    for (std::size_t pos = 0; pos <= body.size();) {
        const std::size_t begin = pos;
        std::size_t end = line_end(body, begin);
        pos = end + 1;
        if (!is_git_status_block_line(body.substr(begin, end - begin))) continue;
        std::vector<std::string_view> branch_lines;
        std::vector<CodeGroup> groups;
        std::unordered_map<std::string, std::size_t> group_of;
        auto take = [&](std::string_view line) {
            if (is_branch_line(line)) {
                branch_lines.push_back(line);
                return true;
            }
            std::optional<GitStatusEntry> entry = parse_git_status_line(line);
            if (!entry) return false;
            auto [it, added] = group_of.try_emplace(entry->code, groups.size());
            if (added) groups.push_back(CodeGroup{std::move(entry->code), {}});
            groups[it->second].rows.push_back(git_path_row(std::move(entry->path)));
            return true;
        };
        take(body.substr(begin, end - begin));
        end = extend_over_lines(body, end, take);
        pos = end + 1;
        if (groups.empty()) continue;
        Rendering candidate(end - begin);
        for (std::string_view branch : branch_lines) candidate.add(std::string(branch));
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
            for (std::string& tree_line : *tree_lines) candidate.add(" " + tree_line);
        }
        if (!complete || candidate.over_budget()) continue;
        out.place_unit(begin, end, candidate.lines);
    }
    return std::move(out).finish();
}

}  // namespace filters::git
