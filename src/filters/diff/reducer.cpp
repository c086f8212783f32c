#include "filters/diff/reducer.h"

#include <vector>

#include "filters/diff/detector.h"
#include "filters/diff/summary.h"
#include "text.h"

namespace filters::diff::reducer {
namespace {

using detector::DiffBlock;
using detector::is_hunk_header;

// Lines that end the payload of a "literal "/"delta " line.
bool is_payload_stop(std::string_view line) {
    if (line.empty()) return false;
    if (detector::starts_file_section(line) || detector::is_metadata_line(line)) return true;
    if (text::starts_with_any(line,
                              {"--- ", "+++ ", "index ", "Binary files ", "GIT binary patch", "literal ", "delta "}))
        return true;
    return is_hunk_header(line) || summary::read_payload_marker(line).has_value();
}

// The token of a path line that names the file, or none for other lines.
std::optional<std::string_view> path_token(std::string_view line) {
    if (line.starts_with("diff --git ")) {
        // "diff --git OLD NEW": the third and fourth pieces.
        std::size_t pos = 0;
        text::next_word(line, pos);
        text::next_word(line, pos);
        const std::string_view old_path = text::next_word(line, pos), new_path = text::next_word(line, pos);
        if (new_path.empty()) return std::nullopt;
        if (auto path = clean_diff_path(new_path)) return path;
        return clean_diff_path(old_path);
    }
    constexpr std::pair<std::string_view, std::size_t> kPrefixes[] = {
        {"diff --cc ", 10}, {"diff --combined ", 16}, {"Index: ", 7},  {"--- ", 4},
        {"+++ ", 4},        {"rename to ", 10},       {"copy to ", 8},
    };
    for (const auto& [prefix, length] : kPrefixes)
        if (line.starts_with(prefix)) return clean_diff_path(line.substr(length));
    return std::nullopt;
}

// One hunk body line, as the hunk walk sorts it.
struct BodyLine {
    std::string_view line;
    enum Kind { ContextMarker, NoNewline, Context, Changed } kind;
    bool added = false;
    bool removed = false;
    std::uint64_t marker_count = 0;
};

// The line as a line of a hunk body whose lines carry `parents` prefix
// characters, or none when it ends the body (an empty line, any "… " line
// other than a context marker, any other prefix).
std::optional<BodyLine> read_body_line(std::string_view line, std::size_t parents) {
    BodyLine b{line, BodyLine::Context};
    // A marker begins with "…", whose first byte starts no prefix character.
    if (auto count = line.starts_with('\xE2') ? summary::read_context_marker(line) : std::nullopt) {
        b.kind = BodyLine::ContextMarker;
        b.marker_count = *count;
        return b;
    }
    if (line.starts_with("\\ No newline")) {
        b.kind = BodyLine::NoNewline;
        return b;
    }
    if (line.size() < parents) return std::nullopt;
    for (std::size_t p = 0; p < parents; ++p) {
        const char c = line[p];
        if (c == '+')
            b.added = true;
        else if (c == '-')
            b.removed = true;
        else if (c != ' ')
            return std::nullopt;
    }
    if (b.added || b.removed) b.kind = BodyLine::Changed;
    return b;
}

// Whether the old side and the new side of the body hold the same bytes
// once every ASCII whitespace character but the vertical tab is removed.
bool sides_equal_without_whitespace(const std::vector<BodyLine>& body, std::size_t prefix) {
    auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; };
    // The lines around the changes are the same on both sides, or on
    // neither: both sides' bytes begin, and end, with the same bytes there,
    // so only the lines from the first change to the last are compared.
    std::size_t first = 0, last = body.size();
    while (first < last && body[first].kind != BodyLine::Changed) ++first;
    while (last > first && body[last - 1].kind != BodyLine::Changed) --last;
    // A cursor over the bytes of one side: the lines it takes, skipping
    // whitespace.
    struct Side {
        const std::vector<BodyLine>& body;
        bool old_side;
        std::size_t line, end, pos = 0;
        bool takes(const BodyLine& b) const {
            return b.kind == BodyLine::Context || (b.kind == BodyLine::Changed && (old_side ? b.removed : b.added));
        }
    };
    auto next = [&](Side& s, std::size_t offset) -> int {
        while (s.line < s.end) {
            const BodyLine& b = s.body[s.line];
            if (!s.takes(b)) {
                ++s.line;
                s.pos = offset;
                continue;
            }
            if (s.pos < offset) s.pos = offset;
            while (s.pos < b.line.size() && is_space(b.line[s.pos])) ++s.pos;
            if (s.pos < b.line.size()) return static_cast<unsigned char>(b.line[s.pos++]);
            ++s.line;
            s.pos = offset;
        }
        return -1;
    };
    Side old_side{body, true, first, last}, new_side{body, false, first, last};
    for (;;) {
        const int a = next(old_side, prefix), b = next(new_side, prefix);
        if (a != b) return false;
        if (a < 0) return true;
    }
}

class BlockRewriter {
public:
    BlockRewriter(const text::LineIndex& lines, std::string& out) : lines_(lines), out_(out) {}

    // Writes the block's new lines, joined with "\n", into the buffer.
    void rewrite(DiffBlock block) {
        out_.clear();
        first_ = true;
        path_ = std::string_view();
        std::size_t k = block.start;
        while (k < block.end) {
            const std::string_view line = lines_[k];
            if (!line.empty() && is_hunk_header(line)) {
                emit(line);
                k = hunk(line, k + 1, block.end);
                continue;
            }
            if (line.starts_with("index ")) {
                ++k;
                continue;
            }
            if (auto token = path_token(line)) path_ = *token;
            emit(line);
            ++k;
            if (line.starts_with("literal ") || line.starts_with("delta ")) {
                std::uint64_t payload = 0;
                while (k < block.end && !is_payload_stop(lines_[k])) {
                    ++payload;
                    ++k;
                }
                if (payload > 0) {
                    begin_line();
                    summary::append_payload_marker(out_, payload);
                }
            }
        }
    }

private:
    void begin_line() {
        if (!first_) out_.push_back('\n');
        first_ = false;
    }
    void emit(std::string_view line) {
        begin_line();
        out_.append(line);
    }

    // Handles the body of the hunk whose header is right before line
    // `k`; returns the line that ended the body.
    std::size_t hunk(std::string_view header, std::size_t k, std::size_t end) {
        std::size_t parents = 1;
        if (header.starts_with("@@@")) {
            const std::size_t ats = header.find_first_not_of('@');
            parents = (ats == std::string_view::npos ? header.size() : ats) - 1;
            if (parents < 2) parents = 2;
        }
        body_.clear();
        std::uint64_t added = 0, removed = 0, context = 0;
        bool marker_seen = false;
        for (; k < end; ++k) {
            const std::optional<BodyLine> b = read_body_line(lines_[k], parents);
            if (!b) break;
            switch (b->kind) {
                case BodyLine::ContextMarker:
                    context = summary::add_saturating(context, b->marker_count);
                    marker_seen = true;
                    break;
                case BodyLine::Context:
                    ++context;
                    break;
                case BodyLine::Changed:
                    if (b->added) ++added;
                    if (b->removed) ++removed;
                    break;
                case BodyLine::NoNewline:
                    break;
            }
            body_.push_back(*b);
        }
        if (summary::is_lockfile_path(path_) && summary::add_saturating(added, removed) >= kLockfileMinChanges) {
            replace_body("lockfile", added, removed, context);
        } else if (parents == 1 && !marker_seen && added > 0 && removed > 0 &&
                   sides_equal_without_whitespace(body_, parents)) {
            replace_body("whitespace-only", added, removed, context);
        } else {
            std::uint64_t pending = 0;
            for (const BodyLine& b : body_) {
                if (b.kind == BodyLine::ContextMarker) {
                    pending = summary::add_saturating(pending, b.marker_count);
                } else if (b.kind == BodyLine::Context) {
                    pending = summary::add_saturating(pending, 1);
                } else {
                    flush(pending);
                    emit(b.line);
                }
            }
            flush(pending);
        }
        return k;
    }

    void replace_body(std::string_view kind, std::uint64_t added, std::uint64_t removed, std::uint64_t context) {
        begin_line();
        summary::append_hunk_marker(out_, kind, added, removed, context);
        for (const BodyLine& b : body_)
            if (b.kind == BodyLine::NoNewline) emit(b.line);
    }

    void flush(std::uint64_t& pending) {
        if (pending == 0) return;
        begin_line();
        summary::append_context_marker(out_, pending);
        pending = 0;
    }

    static constexpr std::uint64_t kLockfileMinChanges = 20;

    const text::LineIndex& lines_;
    std::string& out_;
    bool first_ = true;
    std::string_view path_;
    std::vector<BodyLine> body_;  // reused from hunk to hunk
};

}  // namespace

std::optional<std::string_view> clean_diff_path(std::string_view token) {
    std::string_view path = text::trim(token);
    if (const std::size_t tab = path.find('\t'); tab != std::string_view::npos) path = text::trim(path.substr(0, tab));
    path = text::trim_chars(path, "\"");
    if (path.empty()) return std::nullopt;
    if (path.size() == 1) return path;
    if (path == "/dev/null") return std::nullopt;
    if (path[1] == '/' && text::contains("abciw", std::string_view(&path[0], 1))) return path.substr(2);
    return path;
}

Attempt try_compress_diff_output(const FilterInput& input) {
    const text::LineIndex& lines = input.lines;
    const std::vector<DiffBlock> blocks = detector::find_diff_blocks(lines);
    if (blocks.empty()) return std::nullopt;

    const std::string_view body = input.text.substr(0, input.text.size() - (lines.final_newline() ? 1 : 0));
    // The byte offset just past line `i` (its "\n" not included).
    auto line_end = [&](std::size_t i) { return lines.start(i) + lines[i].size(); };

    std::string result;
    result.reserve(input.text.size());
    bool any_piece = false;
    auto add_piece = [&](std::string_view piece) {
        if (any_piece) result.push_back('\n');
        any_piece = true;
        result.append(piece);
    };
    std::string rewritten;
    BlockRewriter rewriter(lines, rewritten);
    bool changed = false;
    std::size_t cursor = 0;
    for (const DiffBlock& block : blocks) {
        if (cursor < block.start)
            add_piece(body.substr(lines.start(cursor), line_end(block.start - 1) - lines.start(cursor)));
        const std::string_view original =
            body.substr(lines.start(block.start), line_end(block.end - 1) - lines.start(block.start));
        rewriter.rewrite(block);
        if (text::is_smaller_output(rewritten, original)) {
            changed = true;
            // A rewrite is never empty: the line that starts a block is kept.
            add_piece(rewritten);
        } else {
            add_piece(original);
        }
        cursor = block.end;
    }
    if (!changed) return std::nullopt;
    if (cursor < lines.size()) add_piece(body.substr(lines.start(cursor)));
    if (lines.final_newline()) result.push_back('\n');
    return result;
}

std::string compress_diff_output(std::string_view text) { return run_alone(&try_compress_diff_output, text); }

}  // namespace filters::diff::reducer
