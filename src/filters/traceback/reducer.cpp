#include "filters/traceback/reducer.h"

#include <vector>

#include "filters/filter.h"
#include "filters/traceback/detector.h"
#include "filters/traceback/summary.h"

namespace filters::traceback::reducer {

namespace {

using detector::TracebackEvent;
using detector::TracebackFrame;

constexpr std::size_t kMinSummaryLines = 4;
// Noise runs up to this many lines are kept whole.
constexpr std::size_t kMaxKeptNoise = 3;
// Stacks up to this many frame groups are printed whole; longer ones keep
// their first two and last three groups and the project's own frames.
constexpr std::size_t kMaxWholeStack = 8;
constexpr std::size_t kKeptHead = 2;
constexpr std::size_t kKeptTail = 3;

// A run of identical consecutive frames (same frame line, same context).
struct FrameGroup {
    const TracebackFrame* frame = nullptr;
    std::uint64_t count = 0;
};

std::vector<FrameGroup> group_frames(const std::vector<TracebackFrame>& frames) {
    std::vector<FrameGroup> groups;
    for (const TracebackFrame& f : frames) {
        if (!groups.empty() && groups.back().frame->line == f.line && groups.back().frame->context == f.context)
            ++groups.back().count;
        else
            groups.push_back(FrameGroup{&f, 1});
    }
    return groups;
}

std::vector<bool> select_groups(const std::vector<FrameGroup>& groups) {
    const std::size_t n = groups.size();
    std::vector<bool> selected(n, n <= kMaxWholeStack);
    if (n <= kMaxWholeStack) return selected;
    for (std::size_t i = 0; i < n; ++i)
        selected[i] = i < kKeptHead || i >= n - kKeptTail || summary::is_repo_looking_path(groups[i].frame->file);
    return selected;
}

bool has_caret(const std::vector<std::string_view>& context) {
    for (std::string_view line : context)
        if (text::contains(line, "^")) return true;
    return false;
}

class TracebackSummary {
public:
    TracebackSummary(const text::LineIndex& lines, std::string_view exception_type) : lines_(lines) {
        add(text::format("{} {}", headline::kPythonTraceback, exception_type));
    }

    // The non-blank lines of [from, to), trimmed: all of them when there
    // are few, else the first, a count of the rest, and the last.
    void reduce_noise(std::size_t from, std::size_t to, std::string_view label) {
        std::vector<std::string_view> kept;
        std::size_t count = 0;
        std::string_view last;
        for (std::size_t i = from; i < to; ++i) {
            const std::string_view t = text::trim(lines_[i]);
            if (t.empty()) continue;
            if (kept.size() < kMaxKeptNoise + 1) kept.push_back(t);
            last = t;
            ++count;
        }
        if (count <= kMaxKeptNoise) {
            for (std::string_view t : kept) add(t);
            return;
        }
        add(kept.front());
        add(omission_marker(count - 2, text::format("{} line", label)));
        add(last);
    }

    void add_traceback(const TracebackEvent& event) {
        add(summary::kHeader);
        const std::vector<FrameGroup> groups = group_frames(event.frames);
        const std::vector<bool> selected = select_groups(groups);
        std::size_t last_selected = 0;
        for (std::size_t i = 0; i < groups.size(); ++i)
            if (selected[i]) last_selected = i;
        std::uint64_t omitted = 0;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const FrameGroup& g = groups[i];
            if (!selected[i]) {
                omitted += g.count;
                continue;
            }
            if (omitted > 0) add(omission_marker(omitted, "stack frame"));
            omitted = 0;
            add(g.frame->line);
            if (g.count > 1) add(omission_marker(g.count - 1, "repeated stack frame"));
            if (i == last_selected || has_caret(g.frame->context))
                for (std::string_view c : g.frame->context) add(c);
        }
        if (omitted > 0) add(omission_marker(omitted, "stack frame"));
        add(event.exception);
    }

    void add_marker(const TracebackEvent& event) { add(event.text); }

    Attempt finish(std::string_view input) {
        if (out_.line_count() < kMinSummaryLines) return std::nullopt;
        return out_.take_if_smaller(input, lines_.final_newline());
    }

private:
    void add(std::string_view line) { out_.add_unless_blank_or_repeat(line); }

    const text::LineIndex& lines_;
    SummaryWriter out_;
};

std::string_view last_exception_type(const std::vector<TracebackEvent>& events) {
    for (auto e = events.rbegin(); e != events.rend(); ++e)
        if (e->kind == TracebackEvent::Kind::traceback) return summary::exception_type(e->exception);
    return summary::exception_type("Exception");
}

}  // namespace

Attempt try_compress_traceback_output(const FilterInput& input) {
    const auto parse = detector::parse_python_traceback(input.lines);
    if (!parse) return std::nullopt;

    TracebackSummary summary(input.lines, last_exception_type(parse->events));
    std::size_t cursor = 0;
    for (const TracebackEvent& event : parse->events) {
        summary.reduce_noise(cursor, event.start, "pre-traceback");
        if (event.kind == TracebackEvent::Kind::marker)
            summary.add_marker(event);
        else
            summary.add_traceback(event);
        cursor = event.end;
    }
    summary.reduce_noise(cursor, input.lines.size(), "post-traceback");
    return summary.finish(input.text);
}

std::string compress_traceback_output(std::string_view text) { return run_alone(&try_compress_traceback_output, text); }

}  // namespace filters::traceback::reducer
