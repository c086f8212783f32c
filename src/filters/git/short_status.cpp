#include "filters/git/short_status.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "filters/git/passes.h"
#include "filters/git/paths.h"
#include "filters/tree.h"
#include "text.h"

namespace filters::git {
namespace {

// A status character's place in kStatusChars, or kNotStatus.
constexpr std::string_view kStatusChars = " !?ACDMRTU";
constexpr std::uint8_t kNotStatus = 0xFF;
constexpr auto kStatusIndex = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotStatus);
    for (std::size_t i = 0; i < kStatusChars.size(); ++i)
        table[static_cast<unsigned char>(kStatusChars[i])] = static_cast<std::uint8_t>(i);
    return table;
}();

bool is_status_char(char c) { return kStatusIndex[static_cast<unsigned char>(c)] != kNotStatus; }

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

namespace {

// Where an entry's line stands: its path is the line after the code and
// the blank. Whether the path ends with "/" is noted while its line is at
// hand, so that drawing the tree reads the text only to split paths.
struct StatusEntry {
    std::size_t line_begin;
    std::uint32_t path_size;  // UINT32_MAX: found again from the line end
    std::uint16_t code;       // index into the block's codes
    bool ends_with_slash;
};

// The entries of one code, in the order of their lines, lent to the tree.
struct CodeRows {
    std::string_view body;
    const StatusEntry* entries;
    std::size_t count;
};

// Rows lie far apart in the text when codes alternate, and the tree asks
// for them in order: the line of a row a few ahead is fetched meanwhile.
constexpr std::size_t kFetchAhead = 16;

tree::TreeRowView code_row(const void* context, std::size_t i) {
    const CodeRows& rows = *static_cast<const CodeRows*>(context);
    if (i + kFetchAhead < rows.count) __builtin_prefetch(rows.body.data() + rows.entries[i + kFetchAhead].line_begin);
    const StatusEntry& e = rows.entries[i];
    const std::size_t path_begin = e.line_begin + 3;
    const std::size_t path_size =
        e.path_size != UINT32_MAX ? e.path_size : line_end(rows.body, path_begin) - path_begin;
    return tree::TreeRowView{rows.body.substr(path_begin, path_size), git_row_suffix(e.ends_with_slash), {}};
}

}  // namespace

std::optional<std::string> compress_git_short_status(std::string_view text, const text::LineIndex& lines) {
    const std::string_view body = git_body(text);
    PassOutput out(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!is_git_status_block_line(lines[i])) continue;
        const std::size_t begin = lines.start(i);
        std::vector<std::string_view> branch_lines;
        std::vector<std::string_view> codes;  // first-seen order
        std::vector<std::size_t> counts;
        // The code of each pair of status characters seen, as an index
        // into `codes`: " M" and "M " trim to one code.
        std::array<std::uint8_t, kStatusChars.size() * kStatusChars.size()> code_of_pair;
        code_of_pair.fill(kNotStatus);
        auto code_of = [&code_of_pair](std::string_view status_line) -> std::uint8_t& {
            return code_of_pair[kStatusIndex[static_cast<unsigned char>(status_line[0])] * kStatusChars.size() +
                                kStatusIndex[static_cast<unsigned char>(status_line[1])]];
        };
        std::size_t longest = 0;
        // The block is read once to find its end and count its codes.
        auto take = [&](std::string_view line) {
            if (is_branch_line(line)) {
                branch_lines.push_back(line);
                return true;
            }
            if (!is_git_status_line(line)) return false;
            std::uint8_t& known = code_of(line);
            if (known == kNotStatus) {
                const std::string_view code = text::trim(line.substr(0, 2));
                std::size_t k = 0;
                while (k < codes.size() && codes[k] != code) ++k;
                if (k == codes.size()) {
                    codes.push_back(code);
                    counts.push_back(0);
                }
                known = static_cast<std::uint8_t>(k);
            }
            ++counts[known];
            longest = std::max(longest, line.size() - 3);
            return true;
        };
        const std::size_t first_line = i;
        take(lines[i]);
        while (i + 1 < lines.size() && take(lines[i + 1])) ++i;
        const std::size_t end = lines.start(i) + lines[i].size();
        if (codes.empty()) continue;
        Rendering candidate(end - begin);
        for (std::string_view branch : branch_lines) candidate.add(branch);
        std::string headline = "git status:";
        for (std::size_t k = 0; k < codes.size(); ++k) headline += text::format(" {}={}", codes[k], counts[k]);
        candidate.add(headline);
        if (candidate.over_budget()) continue;
        // Then once more to place each entry among its code's, each code's
        // in the order of their lines: the rows are lent to the tree from
        // there, so that a block of a million lines never makes a row of
        // its own for each, and no entry is moved twice.
        std::vector<std::size_t> first_of(codes.size() + 1, 0);
        for (std::size_t k = 0; k < codes.size(); ++k) first_of[k + 1] = first_of[k] + counts[k];
        const auto by_code = std::make_unique_for_overwrite<StatusEntry[]>(first_of.back());
        std::vector<std::size_t> next(first_of.begin(), first_of.end() - 1);
        for (std::size_t j = first_line; j <= i; ++j) {
            const std::string_view line = lines[j];
            if (is_branch_line(line)) continue;
            const std::uint8_t code = code_of(line);
            const std::size_t path_size = line.size() - 3;
            by_code[next[code]++] =
                StatusEntry{static_cast<std::size_t>(line.data() - body.data()),
                            path_size < UINT32_MAX ? static_cast<std::uint32_t>(path_size) : UINT32_MAX, code,
                            line.ends_with('/')};
        }
        // A path without a double quote is no escaped quoted path.
        const bool any_quote = body.substr(begin, end - begin).find('"') != std::string_view::npos;
        bool complete = true;
        for (std::size_t k = 0; k < codes.size() && complete; ++k) {
            candidate.add(text::format("{}:", codes[k]));
            const CodeRows rows{body, by_code.get() + first_of[k], counts[k]};
            complete = !candidate.over_budget() &&
                       add_git_tree(candidate, GitRowSource{counts[k], &code_row, &rows, any_quote, longest}, 1);
        }
        if (!complete || candidate.over_budget()) continue;
        out.place_unit(begin, end, std::move(candidate).take());
    }
    return std::move(out).finish();
}

}  // namespace filters::git
