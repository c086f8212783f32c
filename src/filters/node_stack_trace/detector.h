// Recognises a Node.js or browser JavaScript error with its stack and
// parses it; declines other filters' summaries, test-runner output,
// documents that only quote a trace, and a program's output that outweighs
// the crash at its end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "filters/node_stack_trace/summary.h"
#include "text.h"

namespace filters::node_stack_trace::detector {

struct NodeStackFrame {
    std::string text;
    std::string location;
    std::size_t line_index = 0;
    summary::FrameKind kind = summary::FrameKind::Other;
};

struct NodeStackTraceParse {
    std::vector<NodeStackFrame> frames;
    std::vector<std::size_t> headline_lines;
    std::vector<std::size_t> version_lines;
    std::optional<std::string> error_code;
};

std::optional<NodeStackTraceParse> parse_node_stack_trace(const text::LineIndex& lines);

}  // namespace filters::node_stack_trace::detector
