#include "filters/diff/detector.h"

#include <array>
#include <optional>

namespace filters::diff::detector {
namespace {

enum class BlockKind { GitHeader, IndexHeader, FileHeaderPair };

constexpr std::string_view kMetadataPrefixes[] = {
    "new file mode ",       "deleted file mode ", "old mode ",  "new mode ",  "similarity index ",
    "dissimilarity index ", "rename from ",       "rename to ", "copy from ", "copy to ",
};

bool starts_git_header(std::string_view line) {
    return !line.empty() && line[0] == 'd' &&
           text::starts_with_any(line, {"diff --git ", "diff --cc ", "diff --combined "});
}

// The first whitespace-separated token of `rest` is an abbreviated or full
// object name: seven or more hex digits.
bool starts_with_object_name(std::string_view rest) {
    rest = text::trim_start(rest);
    std::size_t n = 0;
    while (n < rest.size() && text::whitespace_length_at(rest, n) == 0) {
        const char c = rest[n];
        const bool hex = text::is_ascii_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
        ++n;
    }
    return n >= 7;
}

// The header of the next commit in log output with patches, or of the next
// mail of a patch series: a git block ends there.
bool is_commit_header(std::string_view line) {
    if (line.starts_with("commit ")) return starts_with_object_name(line.substr(7));
    if (line.starts_with("From ")) return starts_with_object_name(line.substr(5));
    return false;
}

// The beginnings of the lines that may start a block (see find_diff_blocks)
// after the "\n" before them.
constexpr text::FingerprintSet kBlockStarts = [] {
    using Print = text::FingerprintSet::Print;
    return text::FingerprintSet(std::array<Print, 3>{{
        {{"\n", "d", "i", "f", "f", " ", "-", "-"}, 0},
        {{"\n", "I", "n", "d", "e", "x", ":", " "}, 0},
        {{"\n", "-", "-", "-", " "}, 0},
    }});
}();

// The average line length from which find_diff_blocks reads every line's
// first byte rather than scan the text for block beginnings.
constexpr std::size_t kBytesPerLineToWalk = 32;

bool is_file_header_pair(const text::LineIndex& lines, std::size_t i) {
    return i + 2 < lines.size() && lines[i].starts_with("--- ") && lines[i + 1].starts_with("+++ ") &&
           is_hunk_header(lines[i + 2]);
}

std::size_t block_end(const text::LineIndex& lines, std::size_t start, BlockKind kind) {
    const std::size_t n = lines.size();
    for (std::size_t k = start + 1; k < n; ++k) {
        const std::string_view line = lines[k];
        if (line.empty()) continue;
        if (starts_file_section(line)) return k;
        switch (kind) {
            case BlockKind::GitHeader:
                if ((line[0] == 'c' || line[0] == 'F') && is_commit_header(line)) return k;
                break;
            case BlockKind::FileHeaderPair:
                if (line[0] == '-' && is_file_header_pair(lines, k)) return k;
                break;
            case BlockKind::IndexHeader:
                break;
        }
    }
    return n;
}

bool is_accepted(const text::LineIndex& lines, DiffBlock block, BlockKind kind) {
    bool hunk = false, file_headers = false, binary = false, metadata = false;
    for (std::size_t k = block.start; k < block.end; ++k) {
        const std::string_view line = lines[k];
        if (line.empty()) continue;
        if (!hunk && is_hunk_header(line))
            hunk = true;
        else if (line.starts_with("--- ") && k + 1 < block.end && lines[k + 1].starts_with("+++ "))
            file_headers = true;
        else if (text::starts_with_any(line, {"GIT binary patch", "Binary files ", "literal ", "delta "}))
            binary = true;
        else if (is_metadata_line(line))
            metadata = true;
        if (kind == BlockKind::GitHeader ? (hunk || file_headers || binary || metadata) : (hunk && file_headers))
            return true;
    }
    return false;
}

}  // namespace

bool is_metadata_line(std::string_view line) {
    for (std::string_view prefix : kMetadataPrefixes)
        if (line.starts_with(prefix)) return true;
    return false;
}

bool starts_file_section(std::string_view line) { return starts_git_header(line) || line.starts_with("Index: "); }

std::vector<DiffBlock> find_diff_blocks(const text::LineIndex& lines) {
    std::vector<DiffBlock> blocks;
    const std::size_t n = lines.size();
    // Looks at line `i` as the start of a block; returns the line to look
    // at next.
    auto look_at = [&](std::size_t i) {
        const std::string_view line = lines[i];
        const char first = line.empty() ? '\0' : line[0];
        BlockKind kind;
        if (first == 'd' && starts_git_header(line))
            kind = BlockKind::GitHeader;
        else if (first == 'I' && line.starts_with("Index: "))
            kind = BlockKind::IndexHeader;
        else if (first == '-' && is_file_header_pair(lines, i))
            kind = BlockKind::FileHeaderPair;
        else
            return i + 1;
        const DiffBlock block{i, block_end(lines, i, kind)};
        if (!is_accepted(lines, block, kind)) return i + 1;
        blocks.push_back(block);
        return block.end;
    };
    if (n == 0) return blocks;
    const std::string_view text = lines.text();
    // A line costs more to step over than some thirty bytes cost to scan:
    // where lines are long, each line's first byte is read.
    if (text.size() / n >= kBytesPerLineToWalk) {
        // Every block starts with "d", "I" or "-": one byte rules out
        // almost every line of other output.
        for (std::size_t i = 0; i < n;) {
            const std::string_view line = lines[i];
            const char first = line.empty() ? '\0' : line[0];
            i = first == 'd' || first == 'I' || first == '-' ? look_at(i) : i + 1;
        }
        return blocks;
    }
    // Only lines that begin "diff --", "Index: " or "--- " start a block,
    // and past the first line each follows a "\n": the scan for those
    // beginnings passes over every other line without reading it as one.
    for (std::size_t i = look_at(0); i < n;) {
        std::size_t from = lines.start(i) - 1;  // the "\n" that ends line i - 1
        std::optional<text::FingerprintSet::Hit> hit;
        while ((hit = kBlockStarts.next(text, from)) && (text[hit->at] != '\n' || hit->at + 1 >= text.size()))
            from = hit->at + 1;
        if (!hit) break;
        i = look_at(text::line_at_from(lines, hit->at + 1, i));
    }
    return blocks;
}

bool parse_range(std::string_view token, char sign) {
    if (token.empty() || token[0] != sign) return false;
    const std::string_view rest = token.substr(1);
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos) return text::is_ascii_digits(rest);
    return text::is_ascii_digits(rest.substr(0, comma)) && text::is_ascii_digits(rest.substr(comma + 1));
}

bool is_hunk_header(std::string_view line) {
    const std::string_view body = text::trim_start(line);
    if (!body.starts_with("@@")) return false;
    // The pieces between whitespace, read one at a time: a header is a
    // handful of them before its free text.
    std::size_t pos = 0;
    const std::string_view open = text::next_word(body, pos);
    if (!line.starts_with("@@@") && open == "@@") {
        std::size_t at = pos;
        const std::string_view old_range = text::next_word(body, at), new_range = text::next_word(body, at);
        if (parse_range(old_range, '-') && parse_range(new_range, '+') && text::next_word(body, at) == "@@")
            return true;
    }
    // Combined form: "@@@ -a -b +c @@@", with as many "@" as parents + 1:
    // ranges of the parents, then the range of the result, then `open`.
    if (open.size() < 3 || open.find_first_not_of('@') != std::string_view::npos) return false;
    std::size_t ranges = 0;
    std::string_view last;  // the range read last, before the one at hand
    for (std::string_view token = text::next_word(body, pos); !token.empty(); token = text::next_word(body, pos)) {
        if (token == open) return ranges >= 2 && parse_range(last, '+');
        // Every range but the last before `open` is a parent's.
        if (ranges > 0 && !parse_range(last, '-')) return false;
        last = token;
        ++ranges;
    }
    return false;
}

}  // namespace filters::diff::detector
