#include "filters/git/git.h"

#include "filters/filter.h"
#include "filters/git/diff_sections.h"
#include "filters/git/long_status.h"
#include "filters/git/name_status.h"
#include "filters/git/short_status.h"
#include "filters/git/stat.h"
#include "filters/git/types.h"
#include "text.h"

namespace filters::git {
namespace {

// What the line starts of the input promise. The diff-section and
// short-status passes can only act on a line that starts their shape; one
// walk over the line starts answers both, so that other text is declined
// at the cost of one look at each line.
struct LineStarts {
    bool diff_section = false;
    bool status_block = false;
};

LineStarts scan_line_starts(std::string_view text) {
    const std::string_view body = git_body(text);
    LineStarts found;
    for (std::size_t pos = 0; pos <= body.size();) {
        const std::size_t end = line_end(body, pos);
        const std::string_view line = body.substr(pos, end - pos);
        if (starts_diff_section(line)) {
            // The diff pass runs; what the text holds after it is its
            // result's business.
            return LineStarts{true, true};
        }
        found.status_block = found.status_block || is_git_status_block_line(line);
        pos = end + 1;
    }
    return found;
}

using Pass = std::optional<std::string> (*)(std::string_view);

struct PassEntry {
    Pass pass;
    bool LineStarts::*needs;  // on the unchanged input, the pass runs only when this holds
};

// Each pass works on what the one before left, in this order. The other
// three passes have cheap gates of their own (a "|", a tab, the first line).
constexpr PassEntry kPasses[] = {
    {&compress_git_diff_sections, &LineStarts::diff_section},
    {&compress_git_stat_runs, nullptr},
    {&compress_git_name_status_runs, nullptr},
    {&compress_git_long_status, nullptr},
    {&compress_git_short_status, &LineStarts::status_block},
};

}  // namespace

std::optional<std::string> try_compress_git_output(std::string_view text) {
    const LineStarts starts = scan_line_starts(text);
    std::optional<std::string> current;
    for (const PassEntry& entry : kPasses) {
        // Once a pass has changed the text, the scan says nothing about it.
        if (!current && entry.needs && !(starts.*entry.needs)) continue;
        std::string_view view = current ? std::string_view(*current) : text;
        std::optional<std::string> result = entry.pass(view);
        if (result && text::is_smaller_output(*result, view)) current = std::move(result);
    }
    return current;
}

std::string compress_git_output(std::string_view text) { return or_input(try_compress_git_output(text), text); }

}  // namespace filters::git
