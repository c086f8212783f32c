#include "filters/git/diff_sections.h"

#include "filters/git/types.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::string_view kSectionStart = "diff --git ";

constexpr std::string_view kMetadataPrefixes[] = {
    "diff --git ",      "--- ",          "+++ ",      "new file mode ",   "deleted file mode ",
    "old mode ",        "new mode ",     "similarity index ", "dissimilarity index ",
    "rename from ",     "rename to ",   "copy from ", "copy to ",
    "Binary files ",    "GIT binary patch", "literal ", "delta ",
};

// The first line of the next commit in git log -p output ("commit " and a
// hex object name) or of the next mail in git format-patch output ("From ",
// the object name and a fixed date). Neither can be a context or payload
// line: context lines start with a blank, payload lines hold no blank.
bool is_commit_header_line(std::string_view line) {
    std::string_view rest;
    if (line.starts_with("commit "))
        rest = line.substr(7);
    else if (line.starts_with("From "))
        rest = line.substr(5);
    else
        return false;
    std::size_t n = 0;
    while (n < rest.size() && ((rest[n] >= '0' && rest[n] <= '9') || (rest[n] >= 'a' && rest[n] <= 'f'))) ++n;
    return n >= 7 && (n == rest.size() || rest[n] == ' ');
}

class SectionWalk {
public:
    // `budget`: the section's own size; a longer result is never chosen.
    explicit SectionWalk(std::size_t budget) : budget_(budget) {}

    bool over_budget() const { return bytes_ > budget_; }

    void take(std::string_view line) {
        if (line.starts_with("@@ ")) {
            flush_both();
            keep(line);
            hunk_ = true;
            binary_ = false;
        } else if (line.starts_with("literal ") || line.starts_with("delta ")) {
            flush_both();
            keep(line);
            binary_ = true;
            hunk_ = false;
        } else if (is_commit_header_line(line)) {
            // The next commit's header, message and stat follow the last
            // hunk or binary patch of a section: they are neither context
            // nor payload.
            flush_both();
            keep(line);
            hunk_ = false;
            binary_ = false;
        } else if (binary_) {
            if (is_diff_metadata_line(line)) {
                flush_payload();
                keep(line);
            } else {
                ++payload_;
            }
        } else if (hunk_ && line.starts_with(' ')) {
            ++context_;
        } else if (is_diff_metadata_line(line)) {
            flush_both();
            keep(line);
            if (line.starts_with("GIT binary patch")) binary_ = true;
        } else if (hunk_ && (line.starts_with('+') || line.starts_with('-'))) {
            flush_context();
            keep(line);
        } else if (line.starts_with("\\ No newline")) {
            flush_context();
            keep(line);
        } else if (line.starts_with("index ")) {
            // The blob names say nothing a reader needs.
        } else {
            flush_both();
            keep(line);
        }
    }

    // The section's lines, or nothing when they outgrew the budget.
    std::optional<std::vector<std::string>> finish() && {
        flush_both();
        if (over_budget()) return std::nullopt;
        return std::move(out_);
    }

private:
    void keep(std::string_view line) { emit(std::string(line)); }
    void emit(std::string line) {
        bytes_ += line.size() + 1;
        out_.push_back(std::move(line));
    }
    void flush_context() {
        if (context_ > 0) emit(context_marker(context_));
        context_ = 0;
    }
    void flush_payload() {
        if (payload_ > 0) emit(payload_marker(payload_));
        payload_ = 0;
    }
    void flush_both() {
        flush_context();
        flush_payload();
    }

    std::vector<std::string> out_;
    bool hunk_ = false;
    bool binary_ = false;
    std::size_t context_ = 0;
    std::size_t payload_ = 0;
    std::size_t bytes_ = 0;
    std::size_t budget_;
};

}  // namespace

bool is_diff_metadata_line(std::string_view line) {
    for (std::string_view prefix : kMetadataPrefixes)
        if (line.starts_with(prefix)) return true;
    return false;
}

std::string context_marker(std::size_t count) {
    return text::format("\xE2\x80\xA6 {} context line{}", count, text::plural(count));
}

std::string payload_marker(std::size_t count) {
    return text::format("\xE2\x80\xA6 {} binary patch payload line{}", count, text::plural(count));
}

std::optional<std::vector<std::string>> shorten_diff_section(std::span<const std::string_view> section) {
    std::size_t budget = 0;
    for (std::string_view line : section) budget += line.size() + 1;
    SectionWalk walk(budget);
    for (std::string_view line : section) {
        walk.take(line);
        if (walk.over_budget()) return std::nullopt;
    }
    return std::move(walk).finish();
}

std::optional<std::string> compress_git_diff_sections(std::string_view text) {
    if (!text::contains(text, kSectionStart)) return std::nullopt;
    GitLines split = split_git_lines(text);
    const std::vector<std::string_view>& lines = split.lines;
    PassOutput out(split);
    std::size_t i = 0;
    while (i < lines.size() && !lines[i].starts_with(kSectionStart)) ++i;
    while (i < lines.size()) {
        const std::size_t begin = i;
        for (++i; i < lines.size() && !lines[i].starts_with(kSectionStart);) ++i;
        std::optional<std::vector<std::string>> shortened =
            shorten_diff_section(std::span(lines).subspan(begin, i - begin));
        if (shortened) out.place_unit(begin, i, std::move(*shortened));
    }
    return std::move(out).finish();
}

}  // namespace filters::git
