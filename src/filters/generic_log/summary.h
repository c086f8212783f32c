// Line functions of the generic-log filter: level and timestamp parsing,
// the test for lines that are never folded, and the pattern under which
// repeated lines are grouped.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "filters/generic_log/types.h"
#include "text.h"

namespace filters::generic_log::summary {

using types::ParsedLogLine;

// Words that mark a low-severity line as worth keeping, whatever their case.
inline constexpr std::array<std::string_view, 14> kImportantWords = {
    "exception", "traceback",   "stack trace",    "caused by",   "panic",   "segmentation fault", "failed", "failure",
    "exit code", "exited with", "status: failed", "fatal error", "http://", "https://",
};

// INFO, DEBUG and TRACE: the only levels whose lines may be folded.
bool is_low_severity(std::string_view level);

// "YYYY-MM-DD?HH:MM:SS" in the first 19 bytes, "?" being a space or "T".
bool is_timestamp_core(std::string_view s);

// A level word at the start of `s` in bracket ("[warn]"), key ("level=info")
// or bare ("ERROR:") form. A bare word must be followed by ":" or "-", or,
// after a timestamp, also by whitespace or the end of the text.
std::optional<ParsedLogLine> parse_level_prefix(std::string_view s, bool after_timestamp);

// A line with an optional leading or bracketed timestamp and a level prefix.
std::optional<ParsedLogLine> parse_log_line(std::string_view line);

// A line that must stay in the summary: any level above DEBUG/INFO/TRACE,
// words of failure, links, and tokens naming a source or data file.
bool is_important_line(std::string_view line, const std::optional<ParsedLogLine>& parsed);

// True when a whitespace-separated token of the line, stripped of quotes,
// brackets, parentheses, commas and semicolons, holds "/" or "\", is no URL,
// and ends with a known file extension or has one right before a ":".
bool has_known_file_token(std::string_view line);

// The message with numbers replaced by "<num>" and whitespace collapsed,
// "<empty message>" when nothing is left, cut to 140 characters.
std::string normalized_message_pattern(const ParsedLogLine& parsed);

// The same pattern written into `out` (its old content replaced), so that a
// caller going through many lines reuses one buffer.
void write_message_pattern(std::string_view message, std::string& out);
// The same pattern written into `buffer`, which only grows: the view holds
// the pattern until the buffer is written again.
std::string_view write_message_pattern_into(std::string_view message, std::string& buffer);

}  // namespace filters::generic_log::summary
