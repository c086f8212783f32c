// Recognises a Node.js or browser JavaScript error with its stack and
// parses it; declines other filters' summaries, test-runner output,
// documents that only quote a trace, and a program's output that outweighs
// the crash at its end.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "filters/node_stack_trace/summary.h"
#include "text.h"

namespace filters::node_stack_trace::detector {

// What the frames of the text are, counted: how many of each kind, and
// which of the frames (counted from 0 in line order) is the first and the
// last of each kind. No list of the frames is kept: a pass that needs them
// finds them again line by line (frame_at), so a stack of a million frames
// costs nothing before the filter knows that it has a summary to give.
struct FrameCounts {
    std::size_t total = 0;
    std::size_t first_line = 0;  // the line of the first frame
    std::array<std::size_t, 4> of_kind{}, first_of_kind{}, last_of_kind{};

    void add(std::size_t line, summary::FrameKind kind);
};

struct NodeStackTraceParse {
    FrameCounts frames;
    // The lines of the first and the last error headline.
    std::size_t first_headline = 0;
    std::size_t last_headline = 0;
    std::optional<std::string> error_code;
};

// The frame that line `i` holds, or nothing; its views point into the line
// or into `storage`.
std::optional<summary::FrameView> frame_at(const text::LineIndex& lines, std::size_t i, std::string& storage);
// The same question, without the frame's kind.
bool is_frame_at(const text::LineIndex& lines, std::size_t i, std::string& storage);

std::optional<NodeStackTraceParse> parse_node_stack_trace(const text::LineIndex& lines);

}  // namespace filters::node_stack_trace::detector
