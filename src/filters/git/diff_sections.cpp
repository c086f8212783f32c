#include "filters/git/diff_sections.h"

#include <span>
#include <vector>

#include "filters/filter.h"
#include "filters/git/passes.h"
#include "text.h"

namespace filters::git {
namespace {

constexpr std::string_view kMetadataPrefixes[] = {
    "diff --git ",
    "--- ",
    "+++ ",
    "new file mode ",
    "deleted file mode ",
    "old mode ",
    "new mode ",
    "similarity index ",
    "dissimilarity index ",
    "rename from ",
    "rename to ",
    "copy from ",
    "copy to ",
    "Binary files ",
    "GIT binary patch",
    "literal ",
    "delta ",
};

// The nouns of the two markers, "… N context lines" and "… N binary patch
// payload lines". The diff filter reads both back as hunk lines.
constexpr std::string_view kContextNoun = "context line";
constexpr std::string_view kPayloadNoun = "binary patch payload line";
// A commit header names its object by this many hex digits at least.
constexpr std::size_t kMinObjectNameDigits = 7;

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
    return n >= kMinObjectNameDigits && (n == rest.size() || rest[n] == ' ');
}

// Walks one section's lines and writes the shortened lines, each followed by
// "\n", into a caller's buffer.
class SectionWalk {
public:
    explicit SectionWalk(std::string& out) : out_(out) {}

    void take(std::string_view line) {
        const char first = line.empty() ? '\0' : line[0];
        if (first == '@' && line.starts_with("@@ ")) {
            flush_both();
            keep(line);
            hunk_ = true;
            binary_ = false;
        } else if ((first == 'l' && line.starts_with("literal ")) || (first == 'd' && line.starts_with("delta "))) {
            flush_both();
            keep(line);
            binary_ = true;
            hunk_ = false;
        } else if ((first == 'c' || first == 'F') && is_commit_header_line(line)) {
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
        } else if (hunk_ && first == ' ') {
            ++context_;
        } else if (is_diff_metadata_line(line)) {
            flush_both();
            keep(line);
            if (first == 'G' && line.starts_with("GIT binary patch")) binary_ = true;
        } else if (hunk_ && (first == '+' || first == '-')) {
            flush_context();
            keep(line);
        } else if (first == '\\' && line.starts_with("\\ No newline")) {
            flush_context();
            keep(line);
        } else if (first == 'i' && line.starts_with("index ")) {
            // The blob names say nothing a reader needs.
        } else {
            flush_both();
            keep(line);
        }
    }

    void finish() { flush_both(); }

private:
    void keep(std::string_view line) {
        out_.append(line);
        out_.push_back('\n');
    }
    void flush_context() {
        if (context_ > 0) {
            append_omission_marker(out_, context_, kContextNoun, "");
            out_.push_back('\n');
        }
        context_ = 0;
    }
    void flush_payload() {
        if (payload_ > 0) {
            append_omission_marker(out_, payload_, kPayloadNoun, "");
            out_.push_back('\n');
        }
        payload_ = 0;
    }
    void flush_both() {
        flush_context();
        flush_payload();
    }

    std::string& out_;
    bool hunk_ = false;
    bool binary_ = false;
    std::size_t context_ = 0;
    std::size_t payload_ = 0;
};

// Shortens the section made of `lines` into `out` (cleared first), each line
// followed by "\n". False as soon as the result outgrows `budget` bytes, the
// section's own size counted the same way.
bool shorten_section_into(std::span<const std::string_view> lines, std::size_t budget, std::string& out) {
    out.clear();
    SectionWalk walk(out);
    for (std::string_view line : lines) {
        walk.take(line);
        if (out.size() > budget) return false;
    }
    walk.finish();
    return out.size() <= budget;
}

}  // namespace

bool is_diff_metadata_line(std::string_view line) {
    if (line.empty()) return false;
    // Most lines of a hunk begin with "+" or "-": each of those bytes begins
    // one prefix only, and other bytes none or a few.
    switch (line[0]) {
        case '+':
            return line.starts_with("+++ ");
        case '-':
            return line.starts_with("--- ");
        case ' ':
        case '@':
        case '\\':
            return false;
        default:
            break;
    }
    for (std::string_view prefix : kMetadataPrefixes)
        if (prefix[0] == line[0] && line.starts_with(prefix)) return true;
    return false;
}

std::optional<std::string> compress_git_diff_sections(std::string_view text, const text::LineIndex& lines) {
    PassOutput out(text);
    std::vector<std::string_view> section;  // reused: one section's lines
    std::string shortened;                  // reused: one section's new lines
    std::size_t section_begin = 0;
    // Offers the collected section, which ends at offset `section_end`.
    // Markers can be longer than the short lines they count, so a section
    // that outgrows itself is left as it is.
    auto close_section = [&](std::size_t section_end) {
        const std::size_t bytes = section_end - section_begin;
        if (shorten_section_into(section, bytes + 1, shortened)) {
            shortened.pop_back();
            out.place_unit(section_begin, section_end, shortened);
        }
        section.clear();
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (starts_diff_section(line)) {
            if (!section.empty()) close_section(lines.start(i) - 1);
            section_begin = lines.start(i);
        }
        // Lines before the first section are never touched.
        if (!section.empty() || starts_diff_section(line)) section.push_back(line);
    }
    if (!section.empty()) close_section(git_body(text).size());
    return std::move(out).finish();
}

std::optional<std::string> compress_git_diff_sections(std::string_view text) {
    if (!text::contains(text, "diff --git ")) return std::nullopt;
    return compress_git_diff_sections(text, text::LineIndex(text));
}

}  // namespace filters::git
