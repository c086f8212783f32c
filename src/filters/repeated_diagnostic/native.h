// Stack frames of native crash reports (sanitizer reports, debugger
// backtraces, symbolised dumps) and the normalisation of their lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "filters/repeated_diagnostic/types.h"

namespace filters::repeated_diagnostic::native {

// What a numbered frame line ("#0 0x4a5b6c in main /app/main.cc:12:3")
// shows, or nothing when the line is no frame.
std::optional<types::NativeFrameEvidence> parse_native_frame_evidence(std::string_view line);

// "file.ext:line" or "file.ext:line:column" with a native source or module
// extension.
bool token_has_native_file_location(std::string_view token);
bool native_frame_has_file_location(std::string_view s);
bool native_frame_has_binary_location(std::string_view s);
bool looks_like_native_function_name(std::string_view token);
// "libfoo.so+0x1a2b" gives "libfoo.so".
std::string_view strip_native_binary_offset(std::string_view token);

// ANSI codes, process ids, addresses and the frame number replaced; a
// null value ("0x0") stays as written.
std::string normalize_native_line(std::string_view line);
// The sanitizer's name and error kind, or the start of the line.
std::string native_headline_summary(std::string_view line);

// Whether a line names a sanitizer, a runtime error, a crash or a trace.
bool is_native_trace_marker(std::string_view line);
// The same without the two words that only name a trace ("stack trace",
// "backtrace"): a sanitizer, a runtime error or a segmentation fault.
bool is_strong_native_trace_marker(std::string_view line);

}  // namespace filters::repeated_diagnostic::native
