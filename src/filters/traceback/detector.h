// Finds the complete Python tracebacks in a text, and the sentences with
// which Python chains one exception to the next.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "text.h"

namespace filters::traceback::detector {

// One frame; the views point into the parsed text.
struct TracebackFrame {
    std::string_view line;                  // the frame line, trimmed
    std::string_view file;                  // the path between its quotes
    std::vector<std::string_view> context;  // source, caret and repeat-note lines under it
};

// A traceback block (`frames`, `exception`) or a chain sentence (`text`),
// over the lines [start, end).
struct TracebackEvent {
    enum class Kind { traceback, marker };
    Kind kind = Kind::traceback;
    std::vector<TracebackFrame> frames;
    std::string_view exception;  // the exception line, trimmed
    std::string_view text;       // the chain sentence, trimmed
    std::size_t start = 0;
    std::size_t end = 0;
};

// The events in the order of their first line; at least one traceback.
struct TracebackParse {
    std::vector<TracebackEvent> events;
};

// The parse, or nothing when the text holds no traceback, a malformed one,
// more other lines than traceback lines, or belongs to the test-runner or
// CI-log filters.
std::optional<TracebackParse> parse_python_traceback(const text::LineIndex& lines);

}  // namespace filters::traceback::detector
