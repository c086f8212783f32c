// The line vocabulary of Node.js and browser JavaScript error traces: line
// normalisation, the V8 frame parser with its frame kinds, the exception
// type and error code, and the predicates that tell headlines, stack
// sections, source excerpts, commands and project paths apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace filters::node_stack_trace::summary {

// Where a frame's code lives.
enum class FrameKind : std::uint8_t { Project, Dependency, Internal, Other };

struct FrameLine {
    std::string text;      // the frame as printed back
    std::string location;  // as it stood in the line
    FrameKind kind = FrameKind::Other;
};

// Terminal colour codes removed, trimmed, and an npm or yarn log prefix
// ("npm ERR!", "npm warn", "yarn error", ...) taken off when it stands as a
// whole word; trimmed again.
std::string normalize_selected_line(std::string_view line);
// The same, as a view of `line` or of `storage` when codes were removed.
std::string_view normalize_selected_line(std::string_view line, std::string& storage);

// A V8 frame line ("at fn (file.js:1:2)"), from the raw line.
std::optional<FrameLine> parse_frame_line(std::string_view line);

// The same frame read in place: its text and location view the line, or
// `storage` when colour codes were removed.
struct FrameView {
    std::string_view text;
    std::string_view location;
    FrameKind kind = FrameKind::Other;
};
std::optional<FrameView> parse_frame_view(std::string_view line, std::string& storage);
// The frame's text and location alone (its kind left as Other), for a
// reader that needs no kind; `frame_kind` then tells it.
std::optional<FrameView> locate_frame(std::string_view line, std::string& storage);
FrameKind frame_kind(std::string_view location);
// Whether the line is a frame line (parse_frame_view would read it).
bool is_frame_line(std::string_view line, std::string& storage);

std::string normalize_location(std::string_view location);
std::string_view normalize_location(std::string_view location, std::string& storage);
std::string_view strip_line_column_suffix(std::string_view location);
bool has_stack_location_signal(std::string_view location);
// `lower` must already be ASCII-lower-cased.
bool is_node_internal_location(std::string_view lower);
bool is_repo_looking_path(std::string_view location_or_line);

// The predicates below take a line already passed through
// normalize_selected_line: the normalisation is not idempotent, so it is
// done once per line by the caller.
bool is_error_headline(std::string_view n);
std::string exception_type(std::string_view n);
std::optional<std::string> extract_error_code(std::string_view n);
bool is_code_line(std::string_view n);
bool is_node_version_line(std::string_view n);
bool is_stack_section_line(std::string_view n);
bool is_error_source_context(std::string_view n);
bool is_important_prelude(std::string_view n);
bool is_command_or_status_line(std::string_view n);
// A line of carets alone, the marker node prints under the source line it
// points into.
bool is_caret_line(std::string_view n);

// Where a line stands in the braces in which node prints an error object's
// own properties after its stack:
//
//     at main (/app/x.js:3:1) {        <- the frame opens the error's braces
//   code: 'ENOENT',                    <- Property
//   config: {                          <- Property (opens a nested value)
//     retries: 3                       <- Nested
//   }                                  <- Closing
// }                                    <- Closing
enum class BraceRole : std::uint8_t { Outside, Property, Nested, Closing };

// Follows the braces line by line. Only a frame, an error headline or a
// "[cause]:" line opens an error's braces from outside, so the program's own
// printed objects stay outside; a blank line closes everything, as node
// prints none inside an object.
class ErrorObjectBraces {
public:
    // `n` normalised; `frame` whether the line is a frame. The role of the
    // line itself, then the braces it opens or closes are taken into account.
    BraceRole step(std::string_view n, bool frame);

private:
    std::vector<bool> open_;  // one per open brace: whether it holds an error's properties
};

}  // namespace filters::node_stack_trace::summary
