#include "filters/git/short_status.h"

#include <cstdint>
#include <vector>

#include "filters/git/passes.h"
#include "filters/git/paths.h"
#include "text.h"

namespace filters::git {
namespace {

bool is_status_char(char c) {
    switch (c) {
        case ' ':
        case '!':
        case '?':
        case 'A':
        case 'C':
        case 'D':
        case 'M':
        case 'R':
        case 'T':
        case 'U':
            return true;
        default:
            return false;
    }
}

bool is_branch_line(std::string_view line) { return line.starts_with("## "); }

// "XY path" with X and Y status characters, not both blank.
bool is_git_status_line(std::string_view line) {
    if (line.size() < 4 || line[2] != ' ') return false;
    if (!is_status_char(line[0]) || !is_status_char(line[1])) return false;
    return line[0] != ' ' || line[1] != ' ';
}

}  // namespace

bool is_git_status_block_line(std::string_view line) { return is_branch_line(line) || is_git_status_line(line); }

std::optional<GitStatusEntry> parse_git_status_line(std::string_view line) {
    if (!is_git_status_line(line)) return std::nullopt;
    return GitStatusEntry{std::string(text::trim(line.substr(0, 2))), std::string(line.substr(3))};
}

std::optional<std::string> compress_git_short_status(std::string_view text) {
    return compress_git_short_status(text, text::LineIndex(text));
}

std::optional<std::string> compress_git_short_status(std::string_view text, const text::LineIndex& lines) {
    const std::string_view body = git_body(text);
    PassOutput out(text);
    // A block's entries as where their lines stand and the index of their
    // code; rows are made for one code at a time from these, so that a
    // block of a million lines never holds all its rows at once.
    struct Entry {
        std::size_t line_begin;
        std::uint32_t path_size;  // UINT32_MAX: found again from the line end
        std::uint32_t code;
    };
    std::vector<Entry> entries;
    std::vector<GitPathRow> rows;  // of one code at a time
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!is_git_status_block_line(lines[i])) continue;
        const std::size_t begin = lines.start(i);
        std::vector<std::string_view> branch_lines;
        std::vector<std::string_view> codes;  // first-seen order
        std::vector<std::size_t> counts;
        entries.clear();
        auto take = [&](std::string_view line) {
            if (is_branch_line(line)) {
                branch_lines.push_back(line);
                return true;
            }
            if (!is_git_status_line(line)) return false;
            const std::string_view code = text::trim(line.substr(0, 2));
            std::size_t k = 0;
            while (k < codes.size() && codes[k] != code) ++k;
            if (k == codes.size()) {
                codes.push_back(code);
                counts.push_back(0);
            }
            ++counts[k];
            const std::size_t path_size = line.size() - 3;
            entries.push_back(Entry{static_cast<std::size_t>(line.data() - body.data()),
                                    path_size < UINT32_MAX ? static_cast<std::uint32_t>(path_size) : UINT32_MAX,
                                    static_cast<std::uint32_t>(k)});
            return true;
        };
        take(lines[i]);
        while (i + 1 < lines.size() && take(lines[i + 1])) ++i;
        const std::size_t end = lines.start(i) + lines[i].size();
        if (codes.empty()) continue;
        Rendering candidate(end - begin);
        for (std::string_view branch : branch_lines) candidate.add(branch);
        std::string headline = "git status:";
        for (std::size_t k = 0; k < codes.size(); ++k) headline += text::format(" {}={}", codes[k], counts[k]);
        candidate.add(headline);
        bool complete = true;
        for (std::size_t k = 0; k < codes.size() && complete; ++k) {
            candidate.add(text::format("{}:", codes[k]));
            rows.clear();
            if (!candidate.over_budget()) {
                rows.reserve(counts[k]);
                for (const Entry& e : entries) {
                    if (e.code != k) continue;
                    const std::size_t path_begin = e.line_begin + 3;
                    const std::size_t path_size =
                        e.path_size != UINT32_MAX ? e.path_size : line_end(body, path_begin) - path_begin;
                    rows.push_back(git_path_row(body.substr(path_begin, path_size)));
                }
            }
            complete = !candidate.over_budget() && add_git_tree(candidate, rows, 1);
        }
        if (!complete || candidate.over_budget()) continue;
        out.place_unit(begin, end, std::move(candidate).take());
    }
    return std::move(out).finish();
}

}  // namespace filters::git
