// Recognises a level-based application log and decides which of its line
// patterns repeat often enough to be folded.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "filters/generic_log/types.h"
#include "text.h"

namespace filters::generic_log::detector {

// The log's parsed lines and repeated patterns, or nothing when the text is
// not such a log or belongs to another filter. The result holds one entry
// per line of `lines`. A text of 2^32 - 1 lines or more is refused.
std::optional<types::GenericLog> detect_generic_log(const text::LineIndex& lines);

// True when at least two lines, and at least 45 % of them, begin with a path
// and a line number ("src/lib.rs:10:5: ...").
bool looks_like_path_location_output(const std::vector<std::string_view>& lines);

// True when some line carries a compiler or package-manager word and no line
// carries a log level. `lines` are the trimmed nonblank lines; the words are
// matched without regard to ASCII case.
bool looks_like_build_or_package_output(const std::vector<std::string_view>& lines);

}  // namespace filters::generic_log::detector
