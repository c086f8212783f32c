// Line tests of a Python traceback: frame lines, the source lines printed
// under them, exception lines, and which frames are the project's own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace filters::traceback::summary {

inline constexpr std::string_view kHeader = "Traceback (most recent call last):";

// A frame line, `File "PATH", line N[, in NAME]`, trimmed, and its path.
struct FrameLine {
    std::string_view line;
    std::string_view file;
};

std::optional<FrameLine> parse_frame_line(std::string_view line);

// A source, caret or note line printed under a frame: indented, or an
// unindented "[Previous line repeated ...]".
bool is_context_line(std::string_view line);

// An unindented "Name: message" line whose (dotted) name ends like an
// exception class: "...Error", "...Exception", "...Warning", "...Exit" ...
bool is_unindented_exception_summary(std::string_view line);

// A line as the summary prints it: trimmed.
std::string_view normalize_selected_line(std::string_view line);

// The exception type of an exception line: the text before its first ":"
// (else before its first "("), trimmed.
std::string_view exception_type(std::string_view line);

// Whether a frame's path looks like the project's own code rather than the
// interpreter's library or installed packages.
bool is_repo_looking_path(std::string_view path);

}  // namespace filters::traceback::summary
