#include "filters/node_stack_trace/reducer.h"

#include <array>
#include <unordered_map>

#include "filters/node_stack_trace/detector.h"
#include "filters/node_stack_trace/summary.h"

namespace filters::node_stack_trace::reducer {

namespace {

using summary::FrameKind;

constexpr std::size_t kMinSummaryLines = 4;
constexpr std::size_t kAllFramesBelow = 6;         // fewer frames than this: print every one
constexpr std::size_t kSecondToLastAbove = 10;     // more frames than this: print frame n-1 too
constexpr std::size_t kLastOfKindAbove = 6;        // more frames of a kind than this: print its last too
constexpr std::size_t kContextBeforeHeadline = 5;  // lines before the headline read as its context

// Frames dropped since the last printed line, by kind.
struct OmittedTally {
    std::array<std::uint64_t, 4> counts{};

    void add(FrameKind kind) { ++counts[static_cast<std::size_t>(kind)]; }

    // Appends "… N {label} stack frame{s} omitted" for the run, if any.
    void flush(SummaryWriter& out) {
        std::uint64_t total = 0;
        for (std::uint64_t c : counts) total += c;
        if (total == 0) return;
        const bool internal = counts[static_cast<std::size_t>(FrameKind::Internal)] > 0;
        const bool dependency = counts[static_cast<std::size_t>(FrameKind::Dependency)] > 0;
        const bool other = counts[static_cast<std::size_t>(FrameKind::Other)] > 0 ||
                           counts[static_cast<std::size_t>(FrameKind::Project)] > 0;
        std::string_view noun = "JavaScript stack frame";
        if (!other && internal && dependency)
            noun = "internal/node_modules stack frame";
        else if (!other && internal)
            noun = "internal stack frame";
        else if (!other && dependency)
            noun = "node_modules stack frame";
        out.add_unless_blank_or_repeat(omission_marker(total, noun));
        counts = {};
    }
};

// The positions (in frame order) of the frames that are printed.
std::vector<bool> select_frames(const std::vector<detector::NodeStackFrame>& frames) {
    const std::size_t n = frames.size();
    std::vector<bool> selected(n, n < kAllFramesBelow);
    if (n < kAllFramesBelow) return selected;
    selected[0] = selected[1] = selected[n - 1] = true;
    if (n > kSecondToLastAbove) selected[n - 2] = true;
    std::array<std::size_t, 4> count{}, first{}, last{};
    for (std::size_t k = 0; k < n; ++k) {
        const auto kind = static_cast<std::size_t>(frames[k].kind);
        if (count[kind]++ == 0) first[kind] = k;
        last[kind] = k;
    }
    for (std::size_t k = 0; k < n; ++k)
        if (frames[k].kind == FrameKind::Project) selected[k] = true;
    for (FrameKind kind : {FrameKind::Dependency, FrameKind::Internal}) {
        const auto i = static_cast<std::size_t>(kind);
        if (count[i] == 0) continue;
        selected[first[i]] = true;
        if (count[i] > kLastOfKindAbove) selected[last[i]] = true;
    }
    return selected;
}

bool keeps_context_line(std::string_view n, std::size_t i, std::size_t first_headline, std::size_t first_frame) {
    // The predicates read the line normalised once more, as each of them
    // normalises what it is given.
    std::string storage;
    const std::string_view n2 = summary::normalize_selected_line(n, storage);
    if (summary::is_error_headline(n2) || summary::is_code_line(n2) || summary::is_node_version_line(n2) ||
        summary::is_command_or_status_line(n2) || summary::is_stack_section_line(n2))
        return true;
    if (i < first_headline && first_headline - i < kContextBeforeHeadline) {
        if (summary::is_error_source_context(n2) || summary::is_important_prelude(n2)) return true;
    } else if (i < first_frame) {
        if (summary::is_important_prelude(n2)) return true;
    }
    return summary::is_repo_looking_path(n);
}

}  // namespace

Attempt try_compress_node_stack_trace_output(const FilterInput& input) {
    const std::optional<detector::NodeStackTraceParse> parse = detector::parse_node_stack_trace(input.lines);
    if (!parse) return std::nullopt;
    const text::LineIndex& lines = input.lines;

    const std::size_t last_headline = parse->headline_lines.back();
    const std::string headline_line =
        last_headline < lines.size() ? summary::normalize_selected_line(lines[last_headline]) : std::string();
    const std::string type = summary::exception_type(headline_line);
    // Blank lines and adjacent repeats are dropped as the summary is written.
    SummaryWriter out;
    if (!parse->error_code || type.find(*parse->error_code) != std::string::npos)
        out.add(text::format("{} {}", headline::kNodeStackTrace, type));
    else
        out.add(text::format("{} {} {}", headline::kNodeStackTrace, type, *parse->error_code));

    const std::vector<bool> selected = select_frames(parse->frames);
    std::unordered_map<std::size_t, std::size_t> frame_at_line;
    frame_at_line.reserve(parse->frames.size());
    for (std::size_t k = 0; k < parse->frames.size(); ++k) frame_at_line.emplace(parse->frames[k].line_index, k);
    const std::size_t first_headline = parse->headline_lines.front();
    const std::size_t first_frame = parse->frames.front().line_index;

    OmittedTally omitted;
    summary::ErrorObjectBraces braces;
    bool kept_previous = false;  // whether the last non-blank line was printed
    std::string storage;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view n = summary::normalize_selected_line(lines[i], storage);
        const auto hit = frame_at_line.find(i);
        const summary::BraceRole role = braces.step(n, hit != frame_at_line.end());
        if (n.empty()) continue;
        if (hit != frame_at_line.end()) {
            const detector::NodeStackFrame& frame = parse->frames[hit->second];
            kept_previous = selected[hit->second];
            if (kept_previous) {
                omitted.flush(out);
                out.add_unless_blank_or_repeat(frame.text);
            } else {
                omitted.add(frame.kind);
            }
            continue;
        }
        // The error's own properties ("status: 503", "syscall: 'listen'")
        // say what failed as much as its code does. A caret means nothing
        // without the source line above it.
        kept_previous =
            summary::is_caret_line(n)
                ? kept_previous && keeps_context_line(n, i, first_headline, first_frame)
                : role == summary::BraceRole::Property || keeps_context_line(n, i, first_headline, first_frame);
        if (kept_previous) {
            omitted.flush(out);
            out.add_unless_blank_or_repeat(n);
        }
    }
    omitted.flush(out);

    if (out.line_count() < kMinSummaryLines) return std::nullopt;
    return out.take_if_smaller(input.text, lines.final_newline());
}

std::string compress_node_stack_trace_output(std::string_view text) {
    return run_alone(&try_compress_node_stack_trace_output, text);
}

}  // namespace filters::node_stack_trace::reducer
