#include "filters/node_stack_trace/reducer.h"

#include <array>

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

// Whether frame `k` (counted in line order), of kind `kind`, is printed:
// every frame of a short stack; else the first two, the last (and the one
// before it in a long stack), every project frame, and the first of the
// installed packages' and of node's internal frames (and the last of either
// kind where it has many).
bool is_selected_frame(const detector::FrameCounts& frames, std::size_t k, FrameKind kind) {
    const std::size_t n = frames.total;
    if (n < kAllFramesBelow) return true;
    if (k <= 1 || k == n - 1 || (n > kSecondToLastAbove && k == n - 2)) return true;
    if (kind == FrameKind::Project) return true;
    if (kind != FrameKind::Dependency && kind != FrameKind::Internal) return false;
    const auto i = static_cast<std::size_t>(kind);
    return k == frames.first_of_kind[i] || (frames.of_kind[i] > kLastOfKindAbove && k == frames.last_of_kind[i]);
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

    const std::size_t last_headline = parse->last_headline;
    const std::string headline_line =
        last_headline < lines.size() ? summary::normalize_selected_line(lines[last_headline]) : std::string();
    const std::string type = summary::exception_type(headline_line);
    // Blank lines and adjacent repeats are dropped as the summary is written.
    // Where every frame is the project's, nearly every line is kept: the
    // summary may come near the text's size, and is given up once it
    // passes it.
    SummaryWriter out = SummaryWriter::within(input.text);
    if (!parse->error_code || type.find(*parse->error_code) != std::string::npos)
        out.add(text::format("{} {}", headline::kNodeStackTrace, type));
    else
        out.add(text::format("{} {} {}", headline::kNodeStackTrace, type, *parse->error_code));

    const std::size_t first_headline = parse->first_headline;
    const std::size_t first_frame = parse->frames.first_line;

    OmittedTally omitted;
    summary::ErrorObjectBraces braces;
    bool kept_previous = false;  // whether the last non-blank line was printed
    std::string storage, frame_storage;
    std::size_t frames_met = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (out.exceeded()) return std::nullopt;
        const std::string_view n = summary::normalize_selected_line(lines[i], storage);
        summary::FrameView frame;
        bool is_frame = false;
        if (i >= first_frame)
            if (std::optional<summary::FrameView> found = detector::frame_at(lines, i, frame_storage)) {
                frame = *found;
                is_frame = true;
            }
        const summary::BraceRole role = braces.step(n, is_frame);
        if (n.empty()) continue;
        if (is_frame) {
            kept_previous = is_selected_frame(parse->frames, frames_met++, frame.kind);
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
