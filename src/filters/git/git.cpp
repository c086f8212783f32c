#include "filters/git/git.h"

#include <array>
#include <cstring>

#include "filters/filter.h"
#include "filters/git/diff_sections.h"
#include "filters/git/long_status.h"
#include "filters/git/name_status.h"
#include "filters/git/passes.h"
#include "filters/git/short_status.h"
#include "filters/git/stat.h"
#include "text.h"

namespace filters::git {
namespace {

// What the lines of the input promise. The diff-section, name-status and
// short-status passes can only act on a line that starts their shape, and
// the stat pass only on a line whose last "|" is followed by what may
// begin a stat; one walk over the lines answers all four, so that other
// text is declined at the cost of one look at each line. The answers still
// hold after the diff-section pass: its result is made of input lines and
// markers, and a marker starts no shape and holds no "|".
struct LineStarts {
    bool diff_section = false;
    bool name_status = false;
    bool status_block = false;
    bool stat_line = false;
};

// The bytes that can begin a line of one of those shapes: "diff --git ",
// "## ", a short-status code or a name-status letter. Most lines of other
// output are passed over on this one look.
constexpr auto kShapeFirstBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("d# !?ABCDMRTUX")) table[c] = true;
    return table;
}();

// The bytes that can stand second in such a line: the "i" of "diff", the
// "#" of "## ", a short-status code, or the tab or score digit after a
// name-status letter.
constexpr auto kShapeSecondBytes = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view("i# !?ACDMRTU\t0123456789")) table[c] = true;
    return table;
}();

LineStarts scan_line_starts(const text::LineIndex& lines) {
    LineStarts found;
    // Only a line that holds a "|" can be a stat line. Where such lines are
    // rare, the next "|" is searched for once and the lines before it are
    // passed over; after a line that holds one, its neighbours are looked
    // into one by one until a line holds none.
    const std::string_view text = lines.text();
    auto bar_from = [&text](std::size_t from) {
        const void* hit = std::memchr(text.data() + from, '|', text.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
    };
    std::size_t next_bar = bar_from(0);
    bool line_by_line = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (!found.stat_line && (line_by_line || next_bar < lines.start(i) + line.size())) {
            const void* bar = memrchr(line.data(), '|', line.size());
            line_by_line = bar != nullptr;
            if (line_by_line)
                found.stat_line = may_begin_git_stat(line.substr(
                    static_cast<std::size_t>(static_cast<const char*>(bar) - line.data()) + 1));
            else
                next_bar = bar_from(lines.start(i) + line.size());
        }
        if (line.size() < 2 || !kShapeFirstBytes[static_cast<unsigned char>(line[0])] ||
            !kShapeSecondBytes[static_cast<unsigned char>(line[1])])
            continue;
        // An indented line (source, pretty-printed JSON) starts none of the
        // shapes: a status line that begins with a blank has a code second.
        if (line[0] == ' ' && line[1] == ' ') continue;
        found.diff_section = found.diff_section || starts_diff_section(line);
        found.name_status = found.name_status || may_be_git_name_status_line(line);
        found.status_block = found.status_block || is_git_status_block_line(line);
    }
    return found;
}

using Pass = std::optional<std::string> (*)(std::string_view);

struct PassEntry {
    Pass pass;
    bool LineStarts::*needs;  // on the unchanged input, the pass runs only when this holds
};

// Between the diff-section and the short-status passes, each pass works on
// what the one before left, in this order. The long-status pass has a
// cheap gate of its own (the first line).
constexpr PassEntry kMiddlePasses[] = {
    {&compress_git_stat_runs, &LineStarts::stat_line},
    {&compress_git_name_status_runs, &LineStarts::name_status},
    {&compress_git_long_status, nullptr},
};

}  // namespace

Attempt try_compress_git_output(const FilterInput& input) {
    const LineStarts starts = scan_line_starts(input.lines);
    Attempt current;
    auto keep_if_smaller = [&current](Attempt result, std::string_view view) {
        if (result && text::is_smaller_output(*result, view)) current = std::move(result);
    };
    // The first pass reads the input itself, whose lines are known.
    if (starts.diff_section) keep_if_smaller(compress_git_diff_sections(input.text, input.lines), input.text);
    // Once a later pass has changed the text, the scan says nothing about it.
    bool starts_hold = true;
    for (const PassEntry& entry : kMiddlePasses) {
        if (starts_hold && entry.needs && !(starts.*entry.needs)) continue;
        const std::string_view view = current ? std::string_view(*current) : input.text;
        Attempt result = entry.pass(view);
        if (result && text::is_smaller_output(*result, view)) {
            current = std::move(result);
            starts_hold = false;
        }
    }
    if (starts_hold && !starts.status_block) return current;
    if (current)
        keep_if_smaller(compress_git_short_status(*current), *current);
    else
        keep_if_smaller(compress_git_short_status(input.text, input.lines), input.text);
    return current;
}

std::string compress_git_output(std::string_view text) { return run_alone(&try_compress_git_output, text); }

}  // namespace filters::git
